// Stands in for a Windows tool the installer calls (certutil.exe,
// powershell.exe) in the test prefix. Appends one line to the log that
// BRELL_STAND_IN_LOG names: its exit code, a tab and its raw command line;
// where BRELL_STAND_IN_DATA names an environment variable, a tab and that
// variable's value follow (what the tool was given as data, not as code).
// It fails (exit code 1) when its command line holds the text that
// BRELL_STAND_IN_FAIL names (any case), and succeeds otherwise.
//
// Two more parts, for the COM surrogate of the packaged command:
// - Named dllhost.exe, it is a surrogate: it holds the file that
//   BRELL_STAND_IN_HOLD names open (read sharing only, as a loaded DLL is
//   held) and waits to be ended, ten minutes at most.
// - Given PowerShell's command that ends the surrogate (Get-CimInstance
//   Win32_Process ... -like '*<text>*' ... Stop-Process), it does what Windows
//   PowerShell does with it: it ends every dllhost.exe whose command line
//   holds that text (any case), read from the process's own parameters.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cwchar>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return length < ARRAYSIZE(value) ? std::wstring(value, length) : std::wstring();
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() && Lower(text.substr(text.size() - suffix.size())) == Lower(suffix);
}

// Another process's command line, as its parameters in its memory hold it.
std::wstring CommandLineOf(HANDLE process) {
    using QueryFunc = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunc>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 ||
        !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), nullptr))
        return L"";
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (text.empty() || !ReadProcessMemory(process, parameters.CommandLine.Buffer, &text[0],
                                           parameters.CommandLine.Length, nullptr))
        return L"";
    return text;
}

// PowerShell's Get-CimInstance Win32_Process | ? { Name, CommandLine -like }
// | Stop-Process, for dllhost.exe and the text between "-like '*" and "*'".
void EndSurrogates(const std::wstring& command) {
    const size_t start = command.find(L"-like '*");
    const size_t end = start == std::wstring::npos ? start : command.find(L"*'", start + 8);
    if (end == std::wstring::npos) return;
    const std::wstring wanted = Lower(command.substr(start + 8, end - start - 8));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"dllhost.exe") != 0) continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                     FALSE, entry.th32ProcessID);
        if (!process) continue;
        if (Lower(CommandLineOf(process)).find(wanted) != std::wstring::npos) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 10000);
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

}  // namespace

int wmain() {
    const std::wstring line = GetCommandLineW();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (EndsWith(self, L"\\dllhost.exe")) {
        const std::wstring held = Variable(L"BRELL_STAND_IN_HOLD");
        HANDLE file = held.empty() ? INVALID_HANDLE_VALUE
                                   : CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        Sleep(600000);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return 0;
    }
    const std::wstring fail = Variable(L"BRELL_STAND_IN_FAIL");
    const int code = !fail.empty() && Lower(line).find(Lower(fail)) != std::wstring::npos ? 1 : 0;
    if (code == 0 && line.find(L"Win32_Process") != std::wstring::npos && line.find(L"Stop-Process") != std::wstring::npos)
        EndSurrogates(line);

    const std::wstring log = Variable(L"BRELL_STAND_IN_LOG");
    if (log.empty()) return code;
    // Calls that overlap wait for each other.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"BrellStandInLog");
    if (mutex) WaitForSingleObject(mutex, INFINITE);
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::wstring data = Variable(L"BRELL_STAND_IN_DATA");
        const std::wstring entry =
            std::to_wstring(code) + L"\t" + line + (data.empty() ? L"" : L"\t" + Variable(data.c_str())) + L"\n";
        DWORD written = 0;
        WriteFile(file, entry.data(), static_cast<DWORD>(entry.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return code;
}
