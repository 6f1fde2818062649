// "Paste with Brellow" chosen: the folder the engine receives, read from a
// real stand-in engine's command line, for plain folders and for libraries
// resolved through a registered stand-in CLSID_ShellLibrary server.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>

#include "harness/FakeLibrary.h"
#include "harness/MenuObject.h"
#include "harness/StubEngineTest.h"
#include "harness/TaskMemorySpy.h"
#include "support/Files.h"
#include "support/Folders.h"
#include "support/Product.h"
#include "support/Registry.h"

using namespace brelltest;

namespace {

class LaunchTest : public StubEngineTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(objects_.ok());
        StubEngineTest::SetUp();
    }
    void TearDown() override {
        StubEngineTest::TearDown();
        EXPECT_EQ(S_OK, objects_.dll().DllCanUnloadNow());
    }

    static void SetPath(const std::wstring& path) { ASSERT_TRUE(engine_->SetPath(path)); }

    // Chooses the entry on a menu object for the folder.
    HRESULT InvokeOn(PCIDLIST_ABSOLUTE folder) {
        IContextMenu* menu = objects_.Create(folder);
        if (!menu) return E_UNEXPECTED;
        const HRESULT hr = Invoke(menu);
        menu->Release();
        return hr;
    }
    HRESULT InvokeOn(const std::wstring& path) {
        PIDLIST_ABSOLUTE pidl = FolderPidl(path);
        EXPECT_NE(nullptr, pidl) << "no ID list for the folder";
        if (!pidl) return E_UNEXPECTED;
        const HRESULT hr = InvokeOn(pidl);
        ILFree(pidl);
        return hr;
    }

    MenuObjects objects_;
};

TEST_F(LaunchTest, TheFolderReachesTheEngineQuotedAndUnchanged) {
    // Blanks, doubled ones among them, and a drive root with its one backslash.
    for (const std::wstring& folder : {TempFolder() + L"\\paste  here\\with spaces", std::wstring(L"C:\\")}) {
        ASSERT_TRUE(Exists(folder) || MakeFolders(folder));
        EXPECT_EQ(S_OK, InvokeOn(folder));
        EXPECT_EQ(engine_->Expected(folder), engine_->WaitForLaunch());
    }
}

TEST_F(LaunchTest, PathEndingInBackslashIsJoinedAsItIs) {
    SetPath(engine_->Folder() + L"\\");
    EXPECT_EQ(S_OK, InvokeOn(std::wstring(L"C:\\windows")));
    const std::wstring line = engine_->WaitForLaunch();
    EXPECT_NE(std::wstring::npos, line.find(engine_->Folder() + L"\\\\brellow.exe")) << line;
    EXPECT_NE(std::wstring::npos, line.find(L" \"C:\\windows\"")) << line;
}

TEST_F(LaunchTest, OnlyCommandOffsetZeroIsTaken) {
    PIDLIST_ABSOLUTE pidl = FolderPidl(L"C:\\windows");
    ASSERT_NE(nullptr, pidl);
    IContextMenu* menu = objects_.Create(pidl);
    ILFree(pidl);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(E_FAIL, Invoke(menu, "paste"));
    EXPECT_EQ(E_FAIL, Invoke(menu, "open"));
    EXPECT_EQ(E_FAIL, Invoke(menu, MAKEINTRESOURCEA(1)));
    EXPECT_EQ(E_INVALIDARG, menu->InvokeCommand(nullptr));
    // The refused calls kept the folder; the object gives it up once used.
    EXPECT_EQ(S_OK, Invoke(menu));
    EXPECT_EQ(engine_->Expected(L"C:\\windows"), engine_->WaitForLaunch());
    EXPECT_EQ(E_UNEXPECTED, Invoke(menu));
    menu->Release();
}

TEST_F(LaunchTest, SecondInitializeReplacesTheFolder) {
    PIDLIST_ABSOLUTE first = FolderPidl(L"C:\\windows");
    PIDLIST_ABSOLUTE second = FolderPidl(L"C:\\windows\\system32");
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    IContextMenu* menu = objects_.Create(first);
    ASSERT_NE(nullptr, menu);
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(S_OK, init->Initialize(second, nullptr, nullptr));
    init->Release();
    ILFree(first);
    ILFree(second);
    EXPECT_EQ(S_OK, Invoke(menu));
    menu->Release();
    EXPECT_EQ(engine_->Expected(L"C:\\windows\\system32"), engine_->WaitForLaunch());
}

TEST_F(LaunchTest, MissingOrEmptyInstallFolderLaunchesNothing) {
    const std::wstring folder = L"C:\\windows";
    DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, L"Path", KEY_WOW64_32KEY);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), InvokeOn(folder));

    SetPath(L"");
    EXPECT_EQ(E_FAIL, InvokeOn(folder));

    // Only the 32-bit view counts: the installer is a 32-bit program.
    DeleteTree(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_32KEY);
    ASSERT_EQ(ERROR_SUCCESS,
              WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", engine_->Folder(), KEY_WOW64_64KEY));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), InvokeOn(folder));
    EXPECT_TRUE(ReadUtf16File(engine_->Log()).empty());
}

TEST_F(LaunchTest, MissingEngineIsNotTheHandlersFailure) {
    SetPath(TempFolder() + L"\\no engine here");
    EXPECT_EQ(S_OK, InvokeOn(std::wstring(L"C:\\windows")));
}

// A virtual folder: SHGetPathFromIDListW fails for it, so the handler takes
// the library route, where the stand-in library answers.
class LibraryLaunchTest : public LaunchTest {
protected:
    void SetUp() override {
        LaunchTest::SetUp();
        ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &virtualFolder_));
        wchar_t path[MAX_PATH];
        ASSERT_FALSE(SHGetPathFromIDListW(virtualFolder_, path));
        saveFolder_ = TempFolder() + L"\\library save folder";
        ASSERT_TRUE(MakeFolders(saveFolder_));
        SetFakeLibrarySaveFolder(saveFolder_);
    }
    void TearDown() override {
        if (virtualFolder_) ILFree(virtualFolder_);
        // Every library, item and string is released again.
        EXPECT_EQ(0, LiveFakeLibraryObjects());
        LaunchTest::TearDown();
    }

    // Task-allocator blocks (parsing names, save-folder paths, ID lists of
    // items) still live that were made since the last Watch.
    void Watch() {
        spy_ = TaskMemorySpy::Instance();
        ASSERT_NE(nullptr, spy_);
        before_ = spy_->LiveBlocks();
    }
    size_t TaskMemoryLeft() { return spy_ ? spy_->BlocksSince(before_).size() : ~size_t(0); }

    PIDLIST_ABSOLUTE virtualFolder_ = nullptr;
    std::wstring saveFolder_;
    TaskMemorySpy* spy_ = nullptr;
    std::map<void*, size_t> before_;
};

TEST_F(LibraryLaunchTest, LibraryBecomesItsDefaultSaveFolder) {
    EXPECT_EQ(S_OK, InvokeOn(virtualFolder_));
    EXPECT_EQ(engine_->Expected(saveFolder_), engine_->WaitForLaunch());
    // The library was loaded from the folder's own parsing name.
    std::wstring loadedFrom = FakeLibraryLoadedFrom();
    ASSERT_FALSE(loadedFrom.empty());
    CharUpperW(&loadedFrom[0]);
    EXPECT_NE(std::wstring::npos, loadedFrom.find(L"20D04FE0-3AEA-1069-A2D8-08002B30309D")) << loadedFrom;
}

TEST_F(LibraryLaunchTest, EveryFailingStepIsReportedAndLaunchesNothing) {
    const HRESULT codes[] = {STG_E_FILENOTFOUND, HRESULT_FROM_WIN32(ERROR_NOT_FOUND), E_INVALIDARG};
    Watch();
    for (DWORD step = 1; step <= 3; ++step) {
        FailFakeLibraryStep(step, codes[step - 1]);
        EXPECT_EQ(codes[step - 1], InvokeOn(virtualFolder_)) << "step " << step;
        EXPECT_EQ(0, LiveFakeLibraryObjects()) << "step " << step;
        EXPECT_EQ(0u, TaskMemoryLeft()) << "step " << step;
    }
    EXPECT_TRUE(ReadUtf16File(engine_->Log()).empty());
}

TEST_F(LibraryLaunchTest, SaveFolderLongerThanTheObjectHoldsIsRefusedWhole) {
    // 999 characters fit with the terminator; 1000 do not.
    std::wstring fits = L"C:\\";
    fits.append(999 - fits.size(), L'a');
    SetFakeLibrarySaveFolder(fits);
    EXPECT_EQ(S_OK, InvokeOn(virtualFolder_));
    EXPECT_EQ(engine_->Expected(fits), engine_->WaitForLaunch());

    SetFakeLibrarySaveFolder(fits + L"b");
    Watch();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), InvokeOn(virtualFolder_));
    // The path that was too long is freed like every other name.
    EXPECT_EQ(0u, TaskMemoryLeft());
}

TEST_F(LibraryLaunchTest, OtherVirtualFoldersAreRefusedByTheLibrary) {
    // The recycle bin takes the same route; a library that cannot be loaded
    // from it ends the command with the library's own failure.
    PIDLIST_ABSOLUTE bin = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &bin));
    FailFakeLibraryStep(1, E_NOINTERFACE);
    EXPECT_EQ(E_NOINTERFACE, InvokeOn(bin));
    ILFree(bin);
}

}  // namespace
