// Stands in for a Windows tool the installer calls (certutil.exe,
// powershell.exe) in the test prefix. Appends one line to the log that
// BRELL_STAND_IN_LOG names: its exit code, a tab and its raw command line;
// where BRELL_STAND_IN_DATA names an environment variable, a tab and that
// variable's value follow (what the tool was given as data, not as code).
// It fails (exit code 1) when its command line holds the text that
// BRELL_STAND_IN_FAIL names (any case), and succeeds otherwise.
#include <windows.h>

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

}  // namespace

int wmain() {
    const std::wstring line = GetCommandLineW();
    const std::wstring fail = Variable(L"BRELL_STAND_IN_FAIL");
    const int code = !fail.empty() && Lower(line).find(Lower(fail)) != std::wstring::npos ? 1 : 0;

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
