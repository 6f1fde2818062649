// The installer tests' shared helpers (InstallerSupport.h).
#include "InstallerSupport.h"

#include <tlhelp32.h>

#include <cstring>

#include "Owners.h"

namespace brell::installer_test {

std::vector<REGSAM> Views() {
    if (SixtyFourBitWindows()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}
REGSAM View32() { return SixtyFourBitWindows() ? KEY_WOW64_32KEY : 0; }
REGSAM View64() { return SixtyFourBitWindows() ? KEY_WOW64_64KEY : 0; }

std::wstring SetupPath() { return HostPath(BRELL_SETUP_EXE); }
std::wstring PackagePath(const std::wstring& file) { return HostPath(BRELL_PACKAGE_DIR) + L"\\" + file; }

std::wstring DefaultFolder() {
    wchar_t path[MAX_PATH] = {};
    const wchar_t* variable = SixtyFourBitWindows() ? L"%ProgramW6432%\\Brellow" : L"%ProgramFiles%\\Brellow";
    ExpandEnvironmentStringsW(variable, path, MAX_PATH);
    return path;
}

WORD MachineOf(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return 0;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    const size_t at = static_cast<size_t>(dos->e_lfanew) + 4;
    if (dos->e_lfanew < 0 || at + sizeof(WORD) > bytes.size()) return 0;
    WORD machine = 0;
    memcpy(&machine, bytes.data() + at, sizeof(machine));
    return machine;
}

// The uninstaller copies itself to the temporary folder and runs from there
// (~nsu<N>.tmp\Un.exe; older versions Un_A.exe or Au_.exe), so that it can
// delete its own file: wait for that copy too.
void WaitForUninstallerCopies() {
    const brell::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    ASSERT_TRUE(snapshot);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    std::vector<brell::UniqueHandle> copies;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        const wchar_t* name = entry.szExeFile;
        const bool copy = _wcsicmp(name, L"Un.exe") == 0 || _wcsnicmp(name, L"Un_", 3) == 0 || _wcsnicmp(name, L"Au_", 3) == 0;
        if (copy) copies.emplace_back(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    }
    for (const brell::UniqueHandle& process : copies)
        if (process) WaitForSingleObject(process.get(), kProgramTime);
}

std::wstring MachineString(const std::wstring& key, const wchar_t* name, REGSAM view) {
    std::wstring value;
    ReadString(HKEY_LOCAL_MACHINE, key, name, &value, view);
    return value;
}

std::optional<DWORD> MachineDword(const std::wstring& key, const wchar_t* name, REGSAM view) {
    DWORD value = 0;
    if (!ReadDword(HKEY_LOCAL_MACHINE, key, name, &value, view)) return std::nullopt;
    return value;
}

std::vector<std::wstring> RegistrationKeys() {
    return {std::wstring(L"CLSID\\") + kMenuClsid,
            L"Directory\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
            L"LibraryFolder\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
            std::wstring(L"AppID\\") + kMenuAppId,
            L"AppID\\Brellmenu.DLL",
            std::wstring(L"TypeLib\\") + kMenuLibId};
}

std::vector<std::wstring> RegistrationKeysPresent() {
    std::vector<std::wstring> present;
    for (REGSAM view : Views())
        for (const std::wstring& key : RegistrationKeys())
            if (KeyExists(HKEY_LOCAL_MACHINE, kClasses + key, view))
                present.push_back(key + (view == KEY_WOW64_32KEY ? L" (32-bit view)" : L""));
    return present;
}

std::string SharedKeys() {
    const std::wstring keys[] = {L"Directory\\Background", L"LibraryFolder\\Background", L"AppID",
                                 std::wstring(L"TypeLib\\") + kMenuLibId};
    std::wstring dump;
    for (REGSAM view : Views())
        for (const std::wstring& key : keys)
            dump += L"== " + key + L" (view " + std::to_wstring(view) + L")\n" +
                    DumpTree(HKEY_LOCAL_MACHINE, kClasses + key, view) + L"\n";
    return Utf8(dump);
}

std::wstring ClassServer(REGSAM view) {
    return MachineString(std::wstring(kClasses) + L"CLSID\\" + kMenuClsid + L"\\InprocServer32", nullptr, view);
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
