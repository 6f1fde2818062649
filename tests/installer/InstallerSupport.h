// Shared by the installer's tests: the installer and its uninstaller run as
// an administrator runs them, the registry views and files they touch, and
// the fixture that starts every test from a system without Brellow. What
// every suite shares (files, keys, programs) is the support library's.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/RegistryDump.h"
#include "support/Text.h"

namespace brell::installer_test {

using namespace brelltest;

inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brellow";
inline constexpr wchar_t kClasses[] = L"Software\\Classes\\";
inline constexpr DWORD kRestartNeeded = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
// How long the installer, the uninstaller or the engine may take.
inline constexpr DWORD kProgramTime = 600000;

// The views a machine-wide registration lives in.
std::vector<REGSAM> Views();
REGSAM View32();
REGSAM View64();

// The installer to test (the x64 build packs it) and the package build it
// ships, as this build's CMake names them.
std::wstring SetupPath();
std::wstring PackagePath(const std::wstring& file);
std::wstring DefaultFolder();

WORD MachineOf(const std::wstring& path);
// Waits for the uninstaller's copies of itself in the temporary folder.
void WaitForUninstallerCopies();

// An HKLM value, or "" / nullopt when it is not there.
std::wstring MachineString(const std::wstring& key, const wchar_t* name, REGSAM view);
std::optional<DWORD> MachineDword(const std::wstring& key, const wchar_t* name, REGSAM view);

// The keys below Software\Classes that the server's scripts and its type
// library registration write; those of them there now, in every view.
std::vector<std::wstring> RegistrationKeys();
std::vector<std::wstring> RegistrationKeysPresent();
// The shell's keys that registration writes into, in every view, as one
// text (a difference shows as a diff).
std::string SharedKeys();
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
        ASSERT_TRUE(Exists(setup_)) << "no installer at " << Utf8(setup_);
        folder_ = DefaultFolder();
        ForgetEverything();
    }
    void TearDown() override { ForgetEverything(); }

    // The tests share one prefix: each starts from a system without Brellow.
    void ForgetEverything() {
        if (Exists(folder_ + L"\\uninstall.exe")) UninstallInPlace(folder_);
        RemoveTree(folder_);
        for (REGSAM view : Views()) {
            for (const std::wstring& key : RegistrationKeys()) DeleteTree(HKEY_LOCAL_MACHINE, kClasses + key, view);
            DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey, view);
        }
        ForgetProduct();
    }

    DWORD Install(const std::wstring& arguments = L"") {
        return RunAndWait(L"\"" + setup_ + L"\" /S" + (arguments.empty() ? L"" : L" " + arguments), kProgramTime);
    }
    // As the system's list of programs starts it, then its copy in the
    // temporary folder.
    DWORD Uninstall(const std::wstring& folder) {
        const DWORD code = RunAndWait(L"\"" + folder + L"\\uninstall.exe\" /S", kProgramTime);
        WaitForUninstallerCopies();
        return code;
    }
    DWORD Uninstall() { return Uninstall(folder_); }
    // The form that runs in place and returns only when done, with the
    // uninstaller's exit code.
    DWORD UninstallInPlace(const std::wstring& folder) {
        return RunAndWait(L"\"" + folder + L"\\uninstall.exe\" /S _?=" + folder, kProgramTime);
    }

    std::wstring Path() { return MachineString(kProductKey, L"Path", View32()); }
    bool Listed() { return KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, View64()); }

    std::wstring setup_;
    std::wstring folder_;
};

}  // namespace brell::installer_test
