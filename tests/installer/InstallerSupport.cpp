// The installer tests' shared helpers (InstallerSupport.h).
#include "InstallerSupport.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>

namespace brell::installer_test {

bool SixtyFourBitWindows() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The views a machine-wide registration lives in.
std::vector<REGSAM> Views() {
    if (SixtyFourBitWindows()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}
REGSAM View32() { return SixtyFourBitWindows() ? KEY_WOW64_32KEY : 0; }
REGSAM View64() { return SixtyFourBitWindows() ? KEY_WOW64_64KEY : 0; }

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring HostPath(const wchar_t* variable) {
    wchar_t host[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(variable, host, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"";
    std::wstring path = L"Z:" + std::wstring(host);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring SetupPath() {
    const std::wstring path = HostPath(L"BRELL_SETUP_EXE");
    return path.empty() ? ProgramFolder() + L"\\BrellowSetup.exe" : path;
}

std::wstring DefaultFolder() {
    wchar_t path[MAX_PATH] = {};
    const wchar_t* variable = SixtyFourBitWindows() ? L"%ProgramW6432%\\Brellow" : L"%ProgramFiles%\\Brellow";
    ExpandEnvironmentStringsW(variable, path, MAX_PATH);
    return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::string& bytes, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (disposition == OPEN_EXISTING) SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

WORD MachineOf(const std::wstring& path) {
    const std::string bytes = ReadAll(path);
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return 0;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    const size_t at = static_cast<size_t>(dos->e_lfanew) + 4;
    if (dos->e_lfanew < 0 || at + sizeof(WORD) > bytes.size()) return 0;
    WORD machine = 0;
    memcpy(&machine, bytes.data() + at, sizeof(machine));
    return machine;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// Runs a command line and waits for it; returns its exit code.
DWORD RunAndWait(std::wstring line) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, 600000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The uninstaller copies itself to the temporary folder and runs from there
// (~nsu<N>.tmp\Un.exe; older versions Un_A.exe or Au_.exe), so that it can
// delete its own file: wait for that copy too.
void WaitForUninstallerCopies() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    std::vector<HANDLE> copies;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        const wchar_t* name = entry.szExeFile;
        const bool copy = _wcsicmp(name, L"Un.exe") == 0 || _wcsnicmp(name, L"Un_", 3) == 0 || _wcsnicmp(name, L"Au_", 3) == 0;
        if (!copy) continue;
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) copies.push_back(process);
    }
    CloseHandle(snapshot);
    for (HANDLE process : copies) {
        WaitForSingleObject(process, 600000);
        CloseHandle(process);
    }
}

bool ReadString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view, std::wstring& value) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return false;
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    value = data;
    return true;
}

bool ReadDword(const std::wstring& key, const wchar_t* name, REGSAM view, DWORD& value) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return false;
    DWORD size = sizeof(value);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}

namespace {
void WriteValue(const std::wstring& key, const wchar_t* name, REGSAM view, DWORD type, const void* data, DWORD size) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(handle);
}
}  // namespace

void WriteDword(const std::wstring& key, const wchar_t* name, REGSAM view, DWORD value) {
    WriteValue(key, name, view, REG_DWORD, &value, sizeof(value));
}

void WriteString(const std::wstring& key, const wchar_t* name, REGSAM view, const std::wstring& value) {
    WriteValue(key, name, view, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

void DeleteTree(const std::wstring& key, REGSAM view) {
    const size_t slash = key.find_last_of(L'\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeW(parent, key.substr(slash + 1).c_str());
    RegDeleteKeyExW(parent, key.substr(slash + 1).c_str(), view, 0);
    RegCloseKey(parent);
}

// Every key and value name below key, recursively, as "path" and "path=value".
void Snapshot(HKEY root, const std::wstring& key, REGSAM view, std::set<std::wstring>& out) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return;
    out.insert(key);
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        wchar_t data[512] = {};
        DWORD size = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegEnumValueW(handle, i, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
            break;
        out.insert(key + L"|" + name + L"=" + (type == REG_SZ ? data : L"?"));
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    RegCloseKey(handle);
    for (const std::wstring& child : children) Snapshot(root, key + L"\\" + child, view, out);
}

// The shell's keys that registration writes into, in every view.
std::set<std::wstring> SharedKeys() {
    std::set<std::wstring> keys;
    for (REGSAM view : Views()) {
        Snapshot(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"Directory\\Background", view, keys);
        Snapshot(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"LibraryFolder\\Background", view, keys);
        Snapshot(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID", view, keys);
        Snapshot(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"TypeLib\\" + kLibId, view, keys);
    }
    return keys;
}

// Every key the server's scripts and its type library registration write,
// in every view, that is there now.
std::vector<std::wstring> RegistrationKeysPresent() {
    const std::wstring keys[] = {
        std::wstring(L"CLSID\\") + kClsid,
        L"Directory\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
        L"LibraryFolder\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
        std::wstring(L"AppID\\") + kAppId,
        L"AppID\\Brellmenu.DLL",
        std::wstring(L"TypeLib\\") + kLibId,
    };
    std::vector<std::wstring> present;
    for (REGSAM view : Views())
        for (const std::wstring& key : keys)
            if (KeyExists(HKEY_LOCAL_MACHINE, kClasses + key, view))
                present.push_back(key + (view == KEY_WOW64_32KEY ? L" (32-bit view)" : L""));
    return present;
}

// The server file a view's class names, or "" when none.
std::wstring ClassServer(REGSAM view) {
    std::wstring value;
    ReadString(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"CLSID\\" + kClsid + L"\\InprocServer32", nullptr, view,
               value);
    return value;
}

std::vector<InstalledFile> ExpectedFiles() {
    if (SixtyFourBitWindows())
        return {{L"brellow.exe", IMAGE_FILE_MACHINE_AMD64},
                {L"Brellcfg.exe", IMAGE_FILE_MACHINE_I386},
                {L"Brellmenu.dll", IMAGE_FILE_MACHINE_AMD64},
                {L"x86\\Brellmenu.dll", IMAGE_FILE_MACHINE_I386},
                {L"uninstall.exe", IMAGE_FILE_MACHINE_I386}};
    return {{L"brellow.exe", IMAGE_FILE_MACHINE_I386},
            {L"Brellcfg.exe", IMAGE_FILE_MACHINE_I386},
            {L"Brellmenu.dll", IMAGE_FILE_MACHINE_I386},
            {L"uninstall.exe", IMAGE_FILE_MACHINE_I386}};
}

}  // namespace brell::installer_test
