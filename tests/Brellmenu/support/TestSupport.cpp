#include "support/TestSupport.h"

#include "PutClipboardFiles.h"

#include <cstdio>
#include <cstring>

namespace brelltest {

namespace {

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

std::wstring BinDir() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring BinPath(const wchar_t* file) { return BinDir() + L"\\" + file; }

ServerDll::ServerDll(const std::wstring& path) : module(LoadLibraryW(path.c_str())) {
    if (!module) return;
    DllCanUnloadNow = Export<decltype(DllCanUnloadNow)>(module, "DllCanUnloadNow");
    DllGetClassObject = Export<decltype(DllGetClassObject)>(module, "DllGetClassObject");
    DllInstall = Export<decltype(DllInstall)>(module, "DllInstall");
    DllRegisterServer = Export<decltype(DllRegisterServer)>(module, "DllRegisterServer");
    DllUnregisterServer = Export<decltype(DllUnregisterServer)>(module, "DllUnregisterServer");
}

ServerDll::~ServerDll() {
    if (module) FreeLibrary(module);
}

bool ServerDll::ok() const {
    return module && DllCanUnloadNow && DllGetClassObject && DllInstall && DllRegisterServer &&
           DllUnregisterServer;
}

std::wstring CopyServer(const std::wstring& folder) {
    MakeFolders(folder);
    const std::wstring target = folder + L"\\Brellmenu.dll";
    if (!CopyFileW(BinPath(L"Brellmenu.dll").c_str(), target.c_str(), FALSE)) return {};
    return target;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* value, std::wstring* out,
                REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExW(key, value, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        RegCloseKey(key);
        return false;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    text.resize(wcslen(text.c_str()));
    if (out) *out = text;
    return true;
}

bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    const LONG status = RegQueryValueExW(key, value, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

LONG WriteString(HKEY root, const std::wstring& path, const wchar_t* value,
                 const std::wstring& data, REGSAM view) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

LONG WriteDword(HKEY root, const std::wstring& path, const wchar_t* value, DWORD data) {
    HKEY key = nullptr;
    LONG status =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof(data));
    RegCloseKey(key);
    return status;
}

void DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, value);
    RegCloseKey(key);
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring folder(temp, length < MAX_PATH ? length : 0);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool MakeFolders(const std::wstring& path) {
    const std::wstring::size_type start = path.rfind(L"\\\\?\\", 0) == 0 ? 7 : 3;
    for (std::wstring::size_type i = start; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            const std::wstring part = path.substr(0, i);
            if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    return true;
}

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::wstring text;
    wchar_t buffer[1024];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        text.append(buffer, got / sizeof(wchar_t));
    }
    CloseHandle(file);
    return text;
}

bool PutFilesOnClipboard(const std::vector<std::wstring>& files) {
    return brell::PutClipboardFiles(files);
}

bool PutTextOnClipboard(const wchar_t* text) { return brell::PutClipboardText(text); }

bool EmptyTheClipboard() {
    if (!OpenClipboard(nullptr)) return false;
    const bool ok = EmptyClipboard() != FALSE;
    CloseClipboard();
    return ok;
}

PIDLIST_ABSOLUTE FolderPidl(const std::wstring& path) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &pidl, 0, nullptr))) return nullptr;
    return pidl;
}

DWORD RunAndWait(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %ls: error %lu\n", commandLine.c_str(), GetLastError());
        return ~0u;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = ~0u;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

Captured RunAndCapture(std::wstring commandLine) {
    Captured outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return outcome;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    if (!started) std::fprintf(stderr, "cannot start %ls: error %lu\n", commandLine.c_str(), GetLastError());
    CloseHandle(writeEnd);
    if (started) {
        // Read while the program runs, then what it left in the pipe; not up
        // to the pipe's end: a process it started may hold the write end long
        // after it ended (under Wine, the desktop process that the first
        // window-using program of a prefix starts gets its standard handles).
        const ULONGLONG deadline = GetTickCount64() + 120000;
        bool exited = false;
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // every writer is gone
            if (available) {
                char chunk[4096];
                DWORD read = 0;
                const DWORD want = available < sizeof(chunk) ? available : static_cast<DWORD>(sizeof(chunk));
                if (!ReadFile(readEnd, chunk, want, &read, nullptr) || !read) break;
                outcome.output.append(chunk, read);
                continue;
            }
            if (exited) break;
            exited = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
            if (!exited && GetTickCount64() > deadline) break;
        }
        if (exited || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        else
            std::fprintf(stderr, "%ls did not end within two minutes\n", commandLine.c_str());
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return outcome;
}

std::wstring HResultText(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace brelltest
