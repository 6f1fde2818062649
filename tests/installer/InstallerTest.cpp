// BrellowSetup.exe as an administrator runs it, on the kind of Windows this
// test program finds itself on: the x64 build runs in a 64-bit prefix (the
// 32-bit installer through WoW64), the x86 build in a 32-bit one. Silent
// install and uninstall, the settings program and the engine agreeing on
// their registry view, and the ways setup must not leave a half state: a file
// in use, DLLs deleted by hand, a failed install, a folder of others.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "InstallerSupport.h"
#include "Owners.h"
#include "PutClipboardFiles.h"
#include "support/KeyDacl.h"

namespace {

using namespace brell::installer_test;
using ::testing::IsEmpty;

constexpr ULONGLONG kMiB = 1024 * 1024;

TEST_F(Installer, InstallsWhatThisKindOfWindowsNeedsAndUninstallsCleanly) {
    // The user's settings from an earlier install, in both registry views.
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"bmax", 1234, View64()));
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"bmax", 4321, View32()));
    const std::string sharedBefore = SharedKeys();

    ASSERT_EQ(Install(), 0u);

    for (const InstalledFile& file : ExpectedFiles())
        EXPECT_EQ(MachineOf(folder_ + L"\\" + file.name), file.machine) << Utf8(file.name);
    if (!SixtyFourBitWindows()) {
        EXPECT_FALSE(Exists(folder_ + L"\\x86"));
    }

    EXPECT_EQ(Path(), folder_);
    if (SixtyFourBitWindows()) {
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", nullptr, KEY_WOW64_64KEY))
            << "Path belongs in the 32-bit view only";
        // Each view's class names the server of its bitness.
        EXPECT_EQ(_wcsicmp(ClassServer(KEY_WOW64_64KEY).c_str(), (folder_ + L"\\Brellmenu.dll").c_str()), 0);
        EXPECT_EQ(_wcsicmp(ClassServer(KEY_WOW64_32KEY).c_str(), (folder_ + L"\\x86\\Brellmenu.dll").c_str()), 0);
    } else {
        EXPECT_EQ(_wcsicmp(ClassServer(0).c_str(), (folder_ + L"\\Brellmenu.dll").c_str()), 0);
    }
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kMenuClsid + L"\\InprocServer32",
                          L"ThreadingModel"),
              L"Apartment");
    EXPECT_EQ(RegistrationKeysPresent().size(), Views().size() * 6) << "class, handlers, AppID, type library";

    // The registration is a working one: this program's bitness gets its class.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    CLSID clsid;
    ASSERT_EQ(CLSIDFromString(kMenuClsid, &clsid), S_OK);
    IContextMenu* menu = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu, reinterpret_cast<void**>(&menu)),
              S_OK);
    if (menu) menu->Release();
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();

    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", View64()), L"Brellow");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", View64()),
              L"\"" + folder_ + L"\\uninstall.exe\"");

    ASSERT_EQ(Uninstall(), 0u);

    EXPECT_FALSE(Exists(folder_)) << "the install folder is removed";
    EXPECT_THAT(RegistrationKeysPresent(), IsEmpty());
    EXPECT_EQ(Path(), L"");
    EXPECT_FALSE(Listed());
    EXPECT_EQ(MachineDword(kSettingsKey, L"bmax", View32()), 4321u) << "the user's settings stay";
    if (SixtyFourBitWindows()) {
        EXPECT_EQ(MachineDword(kSettingsKey, L"bmax", KEY_WOW64_64KEY), 1234u);
    }
    EXPECT_EQ(SharedKeys(), sharedBefore);
}

TEST_F(Installer, UninstallWithoutSettingsLeavesNoProductKey) {
    ASSERT_EQ(Install(), 0u);
    ASSERT_TRUE(Exists(folder_ + L"\\uninstall.exe"));
    ASSERT_EQ(UninstallInPlace(folder_), 0u);
    for (REGSAM view : Views()) EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Halvorin", view));
    EXPECT_THAT(RegistrationKeysPresent(), IsEmpty());
    EXPECT_FALSE(Exists(folder_ + L"\\Brellmenu.dll"));
}

// Settings an earlier install's x64 settings program kept in the 64-bit view
// are not lost when the 32-bit one takes over.
TEST_F(Installer, SettingsOnlyTheSixtyFourBitViewHeldAreCarriedOver) {
    if (!SixtyFourBitWindows()) {
        GTEST_SKIP() << "32-bit Windows has one registry view";
    }
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"bmin", 77, KEY_WOW64_64KEY));
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"wcache", 0, KEY_WOW64_64KEY));
    // The 32-bit view's own value wins.
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"wcache", 1, KEY_WOW64_32KEY));
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(MachineDword(kSettingsKey, L"bmin", KEY_WOW64_32KEY), 77u);
    EXPECT_EQ(MachineDword(kSettingsKey, L"wcache", KEY_WOW64_32KEY), 1u);
    EXPECT_EQ(MachineDword(kSettingsKey, L"bratio", KEY_WOW64_32KEY), std::nullopt) << "nothing is invented";
}

// True when the process has a committed private allocation of exactly this
// many bytes: the engine's copy buffer, while it copies.
bool HasAllocationOf(HANDLE process, SIZE_T size) {
    MEMORY_BASIC_INFORMATION info;
    const BYTE* at = nullptr;
    while (VirtualQueryEx(process, at, &info, sizeof(info)) == sizeof(info)) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE && info.BaseAddress == info.AllocationBase &&
            info.RegionSize == size)
            return true;
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return false;
}

// The settings program (32-bit on both kinds of Windows) and the engine of
// this Windows' bitness meet in one registry view: a minimum buffer of 7 MB
// set in the window, with expansion off, makes the engine copy through a
// buffer of exactly 7 MiB (with the defaults it would be 30 % of the file).
// The buffer is looked for in the engine's address space while it copies,
// which holds still however slow the machine: the file's size can be caught
// in the middle of a write.
TEST_F(Installer, SettingChangedInTheSettingsWindowReachesTheInstalledEngine) {
    ASSERT_EQ(Install(), 0u);

    {
        brell::test::AppDriver app;
        ASSERT_TRUE(app.Start(folder_ + L"\\Brellcfg.exe"));
        ASSERT_TRUE(app.WaitReady()) << "no settings window";
        ASSERT_EQ(app.FindMessageBox(), nullptr);
        ASSERT_NE(app.MainWindow(), nullptr);
        HWND minimum = app.ControlAt(208, 24);
        HWND writeCache = app.ControlAt(32, 64);
        HWND expand = app.ControlAt(168, 64);
        HWND apply = app.ControlAt(215, 120);
        ASSERT_TRUE(minimum && writeCache && expand && apply) << "a control is not at its place";
        ASSERT_TRUE(app.TypeInto(minimum, L"7"));
        if (app.Checked(writeCache)) app.Click(writeCache);
        if (app.Checked(expand)) app.Click(expand);
        ASSERT_FALSE(app.Checked(writeCache));
        ASSERT_FALSE(app.Checked(expand));
        app.Click(apply);
        ASSERT_EQ(app.FindMessageBox(), nullptr) << "Apply reported a problem";
        EXPECT_EQ(app.Close(), 0);
    }

    const ScratchFolder source(L"brell-settings-source"), target(L"brell-settings-target");
    const std::wstring big = source / L"big.bin", copy = target / L"big.bin", report = source / L"report.txt";
    const ULONGLONG fullSize = 112 * kMiB + 12345;
    std::string chunk(kMiB, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131 + 7);
    ASSERT_TRUE(WriteBytes(big, chunk.substr(0, fullSize % kMiB)));
    for (ULONGLONG done = fullSize % kMiB; done < fullSize; done += kMiB) ASSERT_TRUE(AppendBytes(big, chunk));
    ASSERT_TRUE(brell::PutClipboardFiles({big}));

    // A fast machine may finish a copy before it is looked at: copy again.
    bool seen = false;
    for (int run = 0; run < 8 && !seen; ++run) {
        DeleteFileW(copy.c_str());
        SetEnvironmentVariableW(L"BRELLOW_REPORT", report.c_str());
        ChildProcess engine;
        const bool started = engine.Start(L"\"" + folder_ + L"\\brellow.exe\" \"" + target.path() + L"\"");
        SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);
        ASSERT_TRUE(started) << engine.failure();
        while (!seen && engine.Running()) seen = HasAllocationOf(engine.handle(), 7 * kMiB);
        ASSERT_EQ(engine.Wait(kProgramTime), 0u) << ReadBytes(report) << engine.failure();
        ASSERT_EQ(ReadBytes(copy).size(), fullSize);
    }
    EXPECT_TRUE(seen) << "the engine did not copy through the 7 MiB buffer set in the window";
}

// A DLL that Explorer has loaded refuses writers; stood in for by holding the
// file open with read sharing only, which refuses renaming and deleting too
// (Wine would let a loaded DLL be overwritten). Setup must not report success
// while the old file stays: the new one replaces it at the next restart, and
// the exit code says a restart is needed.
TEST_F(Installer, FileInUseIsReplacedAtRestartAndTheExitCodeSaysSo) {
    ASSERT_EQ(Install(), 0u);
    const std::wstring dll = folder_ + L"\\Brellmenu.dll";
    const std::string shipped = ReadBytes(dll);
    ASSERT_FALSE(shipped.empty() || shipped == kMissing);
    // Mark the installed copy as the "old" one; it still loads.
    ASSERT_TRUE(AppendBytes(dll, "old build"));
    const std::string old = ReadBytes(dll);

    const brell::UniqueHandle held(
        CreateFileW(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    ASSERT_FALSE(DeleteFileW(dll.c_str())) << "the stand-in must refuse deleting";

    EXPECT_EQ(Install(), kRestartNeeded);
    EXPECT_EQ(ReadBytes(dll), old) << "the held file cannot have changed";
    EXPECT_EQ(ReadBytes(dll + L".new"), shipped) << "the new file waits, complete, beside it";

    // The system is asked to put it in place at the next start: the pair of
    // entries, "!" for replacing what is there.
    std::wstring pending(32768, L'\0');
    DWORD size = static_cast<DWORD>(pending.size() * sizeof(wchar_t));
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                           L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, &pending[0], &size),
              ERROR_SUCCESS);
    pending = L'\0' + pending.substr(0, size / sizeof(wchar_t));
    std::wstring pair = L'\0' + std::wstring(L"\\??\\") + dll + L".new" + L'\0' + L"!\\??\\" + dll + L'\0';
    CharLowerBuffW(&pending[0], static_cast<DWORD>(pending.size()));
    CharLowerBuffW(&pair[0], static_cast<DWORD>(pair.size()));
    EXPECT_NE(pending.find(pair), std::wstring::npos) << Utf8(pending);

    // Every other file was replaced at once and the installation is whole.
    for (const wchar_t* other : {L"brellow.exe", L"Brellcfg.exe", L"uninstall.exe"})
        EXPECT_FALSE(Exists(folder_ + L"\\" + other + L".new"));
    EXPECT_TRUE(Listed());
    EXPECT_EQ(Path(), folder_);
}

// Explorer loads whatever DLL the class names, on every right-click: when the
// server cannot unregister itself (its file deleted by hand, or broken), the
// uninstaller removes the keys the server's scripts write, in every view, and
// never the shared parents those scripts keep.
TEST_F(Installer, UninstallRemovesTheRegistrationWhenTheServerCannot) {
    const std::string sharedBefore = SharedKeys();
    ASSERT_EQ(Install(), 0u);
    ASSERT_FALSE(RegistrationKeysPresent().empty());

    ASSERT_TRUE(DeleteFileW((folder_ + L"\\Brellmenu.dll").c_str()));
    if (SixtyFourBitWindows()) {  // the other one is there but not a DLL: regsvr32 /u fails
        ASSERT_TRUE(WriteBytes(folder_ + L"\\x86\\Brellmenu.dll", "not a DLL"));
    }

    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_THAT(RegistrationKeysPresent(), IsEmpty());
    EXPECT_EQ(SharedKeys(), sharedBefore);
    for (REGSAM view : Views()) {
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"CLSID", view));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID", view));
    }
    EXPECT_FALSE(Listed());
    EXPECT_FALSE(Exists(folder_));
}

// A failed first install takes back everything it did; a failed upgrade keeps
// the uninstall entry and the uninstaller, so the system can always be
// cleaned. Registration is made to fail with a real key DACL on a key the
// server's AppID script writes a value into (Wine lets a key be created
// below one whose DACL forbids it, but refuses the value).
TEST_F(Installer, FailedInstallLeavesNothingThatCannotBeRemoved) {
    const std::wstring appIdKey = std::wstring(kClasses) + L"AppID\\Brellmenu.DLL";
    const std::string sharedBefore = SharedKeys();
    {
        KeyDacl locked(HKEY_LOCAL_MACHINE, appIdKey, L"D:P(A;;KR;;;WD)");
        ASSERT_TRUE(locked.applied());
        ASSERT_TRUE(locked.Refuses(KEY_SET_VALUE));

        EXPECT_EQ(Install(), 2u);
        EXPECT_FALSE(Exists(folder_)) << "the files are taken back";
        EXPECT_EQ(Path(), L"");
        EXPECT_THAT(RegistrationKeysPresent(), IsEmpty());
        EXPECT_FALSE(Listed());
    }
    EXPECT_EQ(SharedKeys(), sharedBefore);

    ASSERT_EQ(Install(), 0u);
    {
        KeyDacl locked(HKEY_LOCAL_MACHINE, appIdKey, L"D:P(A;;KR;;;WD)");
        ASSERT_TRUE(locked.applied());
        EXPECT_EQ(Install(), 2u);
        EXPECT_TRUE(Listed()) << "a failed upgrade keeps its entry";
        EXPECT_TRUE(Exists(folder_ + L"\\uninstall.exe"));
    }
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_THAT(RegistrationKeysPresent(), IsEmpty());
    EXPECT_FALSE(Exists(folder_));
    EXPECT_FALSE(Listed());
}

// A folder of the user's choice is taken when it is new or empty (setup then
// locks it down; tests/installer/folder-dacl-test.sh checks the DACL it hands
// to the system) and refused, untouched, when it already holds other files.
TEST_F(Installer, CustomFolderNewOrEmptyIsUsedOneWithOtherFilesIsRefused) {
    const std::wstring tools = L"C:\\Tools";
    const std::wstring theirs = tools + L"\\Theirs";
    const std::wstring ours = tools + L"\\Brellow Copy";
    RemoveTree(tools);
    ASSERT_TRUE(WriteFiles(theirs, {{L"notes.txt", "someone else's"}}));

    EXPECT_EQ(Install(L"/D=" + theirs), 2u);
    EXPECT_EQ(ReadBytes(theirs + L"\\notes.txt"), "someone else's");
    EXPECT_FALSE(Exists(theirs + L"\\brellow.exe"));
    EXPECT_FALSE(Listed());
    EXPECT_EQ(Path(), L"");

    ASSERT_EQ(Install(L"/D=" + ours), 0u);
    for (const InstalledFile& file : ExpectedFiles()) EXPECT_TRUE(Exists(ours + L"\\" + file.name));
    EXPECT_EQ(Path(), ours);
    // An upgrade finds its folder again without being told.
    EXPECT_EQ(Install(), 0u);
    EXPECT_FALSE(Exists(folder_)) << "the default folder is not used for an upgrade";
    EXPECT_EQ(Uninstall(ours), 0u);
    EXPECT_FALSE(Exists(ours));
    EXPECT_TRUE(Exists(theirs + L"\\notes.txt"));
    RemoveTree(tools);
}

}  // namespace
