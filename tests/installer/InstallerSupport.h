// Shared by the installer's tests: the installer and its uninstaller run as
// an administrator runs them, the registry views and files they touch, and
// the fixture that starts every test from a system without Brellow.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace brell::installer_test {

inline constexpr wchar_t kClsid[] = L"{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}";
inline constexpr wchar_t kAppId[] = L"{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}";
inline constexpr wchar_t kLibId[] = L"{8B2E4C69-D017-4F3A-8E45-16C9B7A2F0D3}";
inline constexpr wchar_t kProductKey[] = L"Software\\Halvorin\\Brellow";
inline constexpr wchar_t kInitKey[] = L"Software\\Halvorin\\Brellow\\init";
inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brellow";
inline constexpr wchar_t kClasses[] = L"Software\\Classes\\";
inline constexpr DWORD kRestartNeeded = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

bool SixtyFourBitWindows();
// The views a machine-wide registration lives in.
std::vector<REGSAM> Views();
REGSAM View32();
REGSAM View64();

// The folder of this test program, which holds every binary of the build.
std::wstring ProgramFolder();
// The installer to test: BRELL_SETUP_EXE (a host path, reached through
// Wine's Z: drive) or the one built beside this program.
std::wstring SetupPath();
// The host path in this environment variable, reached through Z:.
std::wstring HostPath(const wchar_t* variable);
std::wstring DefaultFolder();

bool Exists(const std::wstring& path);
std::string ReadAll(const std::wstring& path);
bool WriteAll(const std::wstring& path, const std::string& bytes, DWORD disposition = CREATE_ALWAYS);
WORD MachineOf(const std::wstring& path);
void RemoveTree(const std::wstring& folder);
// Runs a command line and waits for it; returns its exit code.
DWORD RunAndWait(std::wstring line);
// Waits for the uninstaller's copies of itself in the temporary folder.
void WaitForUninstallerCopies();

bool ReadString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view, std::wstring& value);
bool ReadDword(const std::wstring& key, const wchar_t* name, REGSAM view, DWORD& value);
void WriteDword(const std::wstring& key, const wchar_t* name, REGSAM view, DWORD value);
void WriteString(const std::wstring& key, const wchar_t* name, REGSAM view, const std::wstring& value);
bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0);
// Deletes an HKLM key and everything below it in one view.
void DeleteTree(const std::wstring& key, REGSAM view);
// Every key and value name below key, recursively, as "path" and "path=value".
void Snapshot(HKEY root, const std::wstring& key, REGSAM view, std::set<std::wstring>& out);
// The shell's keys that registration writes into, in every view.
std::set<std::wstring> SharedKeys();
// Every key the server's scripts and its type library registration write,
// in every view, that is there now.
std::vector<std::wstring> RegistrationKeysPresent();
// The server file a view's class names, or "" when none.
std::wstring ClassServer(REGSAM view);

// The files the installer puts down on this kind of Windows, each with the
// machine it must be built for.
struct InstalledFile {
    const wchar_t* name;
    WORD machine;
};
std::vector<InstalledFile> ExpectedFiles();

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        setup_ = SetupPath();
        ASSERT_TRUE(Exists(setup_)) << "no installer at " << std::string(setup_.begin(), setup_.end());
        folder_ = DefaultFolder();
        ForgetEverything();
    }
    void TearDown() override { ForgetEverything(); }

    // The tests share one prefix: each starts from a system without Brellow.
    void ForgetEverything() {
        if (Exists(folder_ + L"\\uninstall.exe")) UninstallInPlace(folder_);
        RemoveTree(folder_);
        for (REGSAM view : Views()) {
            for (const wchar_t* key : {L"CLSID\\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}",
                                       L"Directory\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
                                       L"LibraryFolder\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
                                       L"AppID\\{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}", L"AppID\\Brellmenu.DLL",
                                       L"TypeLib\\{8B2E4C69-D017-4F3A-8E45-16C9B7A2F0D3}"})
                DeleteTree(kClasses + std::wstring(key), view);
            DeleteTree(L"Software\\Halvorin", view);
            DeleteTree(kUninstallKey, view);
        }
    }

    DWORD Install(const std::wstring& arguments = L"") {
        return RunAndWait(L"\"" + setup_ + L"\" /S" + (arguments.empty() ? L"" : L" " + arguments));
    }
    // As the system's list of programs starts it, then its copy in the
    // temporary folder.
    DWORD Uninstall(const std::wstring& folder) {
        const DWORD code = RunAndWait(L"\"" + folder + L"\\uninstall.exe\" /S");
        WaitForUninstallerCopies();
        return code;
    }
    DWORD Uninstall() { return Uninstall(folder_); }
    // The form that runs in place and returns only when done, with the
    // uninstaller's exit code.
    DWORD UninstallInPlace(const std::wstring& folder) {
        return RunAndWait(L"\"" + folder + L"\\uninstall.exe\" /S _?=" + folder);
    }

    std::wstring Path() {
        std::wstring value;
        ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", View32(), value);
        return value;
    }
    bool Listed() { return KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, View64()); }

    std::wstring setup_;
    std::wstring folder_;
};

}  // namespace brell::installer_test
