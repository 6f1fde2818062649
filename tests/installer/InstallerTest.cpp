// BrellowSetup.exe as an administrator runs it: silent install, the files,
// Path, the registration; silent uninstall takes it all away again and keeps
// the user's settings.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using ::testing::Contains;

constexpr wchar_t kClsid[] = L"{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}";
constexpr wchar_t kProductKey[] = L"Software\\Halvorin\\Brellow";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brellow";

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring InstallFolder() {
    wchar_t path[MAX_PATH];
    ExpandEnvironmentStringsW(L"%ProgramW6432%\\Brellow", path, MAX_PATH);
    std::wstring folder = path;
    if (folder.find(L'%') != std::wstring::npos) folder = L"C:\\Program Files\\Brellow";
    return folder;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs a command line and waits for it; returns its exit code.
DWORD RunAndWait(std::wstring line) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, 300000);
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
        WaitForSingleObject(process, 300000);
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

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// Every key and value name below key, recursively, as "path" and "path=value".
void Snapshot(HKEY root, const std::wstring& key, std::set<std::wstring>& out) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
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
    for (const std::wstring& child : children) Snapshot(root, key + L"\\" + child, out);
}

std::set<std::wstring> SharedKeys() {
    std::set<std::wstring> keys;
    Snapshot(HKEY_CLASSES_ROOT, L"Directory\\Background", keys);
    Snapshot(HKEY_CLASSES_ROOT, L"LibraryFolder\\Background", keys);
    Snapshot(HKEY_CLASSES_ROOT, L"AppID", keys);
    return keys;
}

// A handler entry names the class either as the subkey's name or as its
// default value, as Explorer accepts both.
bool HandlerRegistered(const std::wstring& handlers) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, handlers.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    bool found = false;
    wchar_t name[256];
    for (DWORD i = 0; !found; ++i) {
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::wstring value;
        found = _wcsicmp(name, kClsid) == 0 ||
                (ReadString(handle, name, nullptr, 0, value) && _wcsicmp(value.c_str(), kClsid) == 0);
    }
    RegCloseKey(handle);
    return found;
}

WORD MachineOf(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS32 nt = {};
    DWORD read = 0;
    ReadFile(file, &dos, sizeof(dos), &read, nullptr);
    SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN);
    ReadFile(file, &nt, sizeof(nt), &read, nullptr);
    CloseHandle(file);
    return nt.FileHeader.Machine;
}

void WriteInit(REGSAM view, DWORD bmax) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin\\Brellow\\init", 0, nullptr, 0,
                              KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"bmax", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&bmax), sizeof(bmax));
    RegCloseKey(key);
}

TEST(Installer, SilentInstallThenSilentUninstall) {
    const std::wstring setup = ProgramFolder() + L"\\BrellowSetup.exe";
    ASSERT_TRUE(Exists(setup)) << "BrellowSetup.exe is built next to the tests";
    const std::wstring folder = InstallFolder();

    // The user's settings from an earlier install, in both registry views.
    WriteInit(KEY_WOW64_64KEY, 1234);
    WriteInit(KEY_WOW64_32KEY, 4321);
    const std::set<std::wstring> sharedBefore = SharedKeys();

    ASSERT_EQ(RunAndWait(L"\"" + setup + L"\" /S"), 0u);

    for (const wchar_t* file : {L"brellow.exe", L"Brellcfg.exe", L"Brellmenu.dll", L"x86\\Brellmenu.dll", L"uninstall.exe"})
        EXPECT_TRUE(Exists(folder + L"\\" + file)) << file;
    EXPECT_EQ(MachineOf(folder + L"\\Brellmenu.dll"), IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(MachineOf(folder + L"\\x86\\Brellmenu.dll"), IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(MachineOf(folder + L"\\brellow.exe"), IMAGE_FILE_MACHINE_AMD64);

    std::wstring value;
    ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", KEY_WOW64_32KEY, value));
    EXPECT_EQ(value, folder);
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", KEY_WOW64_64KEY, value))
        << "Path belongs in the 32-bit view only";

    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsid;
    ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, 0, value));
    EXPECT_EQ(_wcsicmp(value.c_str(), (folder + L"\\Brellmenu.dll").c_str()), 0) << value;
    ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", 0, value));
    EXPECT_EQ(value, L"Apartment");
    EXPECT_TRUE(HandlerRegistered(L"Directory\\Background\\shellex\\ContextMenuHandlers"));
    EXPECT_TRUE(HandlerRegistered(L"LibraryFolder\\Background\\shellex\\ContextMenuHandlers"));

    // The registration is a working one: the class can be made.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    CLSID clsid;
    ASSERT_EQ(CLSIDFromString(kClsid, &clsid), S_OK);
    IContextMenu* menu = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu, reinterpret_cast<void**>(&menu)),
              S_OK);
    if (menu) menu->Release();
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();

    ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", KEY_WOW64_64KEY, value));
    EXPECT_EQ(value, L"Brellow");
    ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", KEY_WOW64_64KEY, value));
    EXPECT_EQ(value, L"\"" + folder + L"\\uninstall.exe\"");

    // As the system's list of programs starts it, then its copy in the
    // temporary folder.
    ASSERT_EQ(RunAndWait(L"\"" + folder + L"\\uninstall.exe\" /S"), 0u);
    WaitForUninstallerCopies();

    EXPECT_FALSE(Exists(folder)) << "the install folder is removed";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey));
    EXPECT_FALSE(HandlerRegistered(L"Directory\\Background\\shellex\\ContextMenuHandlers"));
    EXPECT_FALSE(HandlerRegistered(L"LibraryFolder\\Background\\shellex\\ContextMenuHandlers"));
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", KEY_WOW64_32KEY, value));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY));
    DWORD bmax = 0;
    EXPECT_TRUE(ReadDword(L"Software\\Halvorin\\Brellow\\init", L"bmax", KEY_WOW64_64KEY, bmax));
    EXPECT_EQ(bmax, 1234u);
    EXPECT_TRUE(ReadDword(L"Software\\Halvorin\\Brellow\\init", L"bmax", KEY_WOW64_32KEY, bmax));
    EXPECT_EQ(bmax, 4321u);
    EXPECT_EQ(SharedKeys(), sharedBefore);
}

TEST(Installer, UninstallWithoutSettingsLeavesNoProductKey) {
    const std::wstring setup = ProgramFolder() + L"\\BrellowSetup.exe";
    ASSERT_TRUE(Exists(setup));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin");
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin\\Brellow\\init", KEY_WOW64_32KEY, 0);
    HKEY wow = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &wow) == ERROR_SUCCESS) {
        RegDeleteTreeW(wow, L"Halvorin");
        RegCloseKey(wow);
    }
    const std::wstring folder = InstallFolder();
    ASSERT_EQ(RunAndWait(L"\"" + setup + L"\" /S"), 0u);
    ASSERT_TRUE(Exists(folder + L"\\uninstall.exe"));
    // The form that runs in place and returns only when done.
    ASSERT_EQ(RunAndWait(L"\"" + folder + L"\\uninstall.exe\" /S _?=" + folder), 0u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Halvorin", KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"CLSID\\") + kClsid));
    EXPECT_FALSE(Exists(folder + L"\\Brellmenu.dll"));
    // Run in place, the uninstaller cannot delete its own file.
    DeleteFileW((folder + L"\\uninstall.exe").c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
