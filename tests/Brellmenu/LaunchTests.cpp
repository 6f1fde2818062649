// "Paste with Brellow" chosen: the folder the engine receives, read from a
// real stand-in engine's command line, for plain folders and for libraries
// resolved through a registered stand-in CLSID_ShellLibrary server.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>

#include "server/Identifiers.h"
#include "support/FakeLibrary.h"
#include "support/MenuObject.h"
#include "support/StubEngine.h"
#include "support/TaskMemorySpy.h"
#include "support/TestSupport.h"

using namespace brelltest;

namespace {

class LaunchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        engine_ = new StubEngine();
        RegisterFakeShellLibrary();
    }
    static void TearDownTestSuite() {
        delete engine_;
        engine_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(objects_.ok());
        ASSERT_TRUE(engine_->ok());
        ResetFakeLibrary();
        ASSERT_TRUE(engine_->SetPath());
    }
    void TearDown() override {
        // Nothing launched that the test did not wait for.
        EXPECT_FALSE(engine_->LaunchPending());
        engine_->RemoveProductKey();
        EXPECT_EQ(S_OK, objects_.dll().DllCanUnloadNow());
    }

    static std::wstring Log() { return engine_->Log(); }
    static void SetPath(const std::wstring& path) { ASSERT_TRUE(engine_->SetPath(path)); }

    HRESULT Invoke(IContextMenu* menu, LPCSTR verb = nullptr) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = verb;
        info.nShow = SW_HIDE;
        return menu->InvokeCommand(&info);
    }

    // Chooses the entry on a menu object for the folder.
    HRESULT InvokeOn(PCIDLIST_ABSOLUTE folder) {
        IContextMenu* menu = objects_.Create(folder);
        if (!menu) return E_UNEXPECTED;
        const HRESULT hr = Invoke(menu);
        menu->Release();
        return hr;
    }

    static std::wstring WaitForLaunch() { return engine_->WaitForLaunch(); }
    static std::wstring Expected(const std::wstring& engine, const std::wstring& folder) {
        return L"\"" + engine + L"\" \"" + folder + L"\"";
    }
    static std::wstring Engine() { return engine_->Engine(); }
    static std::wstring Temp() { return TempFolder(); }

    MenuObjects objects_;
    static StubEngine* engine_;
};

StubEngine* LaunchTest::engine_ = nullptr;

TEST_F(LaunchTest, FolderWithSpacesReachesTheEngineQuotedAndUnchanged) {
    const std::wstring target = Temp() + L"\\paste  here\\with spaces";
    ASSERT_TRUE(MakeFolders(target));
    PIDLIST_ABSOLUTE pidl = FolderPidl(target);
    ASSERT_NE(nullptr, pidl);
    EXPECT_EQ(S_OK, InvokeOn(pidl));
    ILFree(pidl);
    EXPECT_EQ(Expected(Engine(), target), WaitForLaunch());
}

TEST_F(LaunchTest, DriveRootKeepsItsSingleBackslash) {
    PIDLIST_ABSOLUTE pidl = FolderPidl(L"C:\\");
    ASSERT_NE(nullptr, pidl);
    EXPECT_EQ(S_OK, InvokeOn(pidl));
    ILFree(pidl);
    EXPECT_EQ(Expected(Engine(), L"C:\\"), WaitForLaunch());
}

TEST_F(LaunchTest, PathEndingInBackslashIsJoinedAsItIs) {
    SetPath(engine_->Folder() + L"\\");
    PIDLIST_ABSOLUTE pidl = FolderPidl(L"C:\\windows");
    ASSERT_NE(nullptr, pidl);
    EXPECT_EQ(S_OK, InvokeOn(pidl));
    ILFree(pidl);
    const std::wstring line = WaitForLaunch();
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
    EXPECT_EQ(Expected(Engine(), L"C:\\windows"), WaitForLaunch());
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
    EXPECT_EQ(Expected(Engine(), L"C:\\windows\\system32"), WaitForLaunch());
}

TEST_F(LaunchTest, MissingOrEmptyInstallFolderLaunchesNothing) {
    PIDLIST_ABSOLUTE pidl = FolderPidl(L"C:\\windows");
    ASSERT_NE(nullptr, pidl);

    DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, L"Path", KEY_WOW64_32KEY);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), InvokeOn(pidl));

    SetPath(L"");
    EXPECT_EQ(E_FAIL, InvokeOn(pidl));

    // Only the 32-bit view counts: the installer is a 32-bit program.
    DeleteTree(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_32KEY);
    ASSERT_EQ(ERROR_SUCCESS,
              WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", engine_->Folder(), KEY_WOW64_64KEY));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), InvokeOn(pidl));
    ILFree(pidl);
    EXPECT_TRUE(ReadUtf16File(Log()).empty());
}

TEST_F(LaunchTest, MissingEngineIsNotTheHandlersFailure) {
    SetPath(Temp() + L"\\no engine here");
    PIDLIST_ABSOLUTE pidl = FolderPidl(L"C:\\windows");
    ASSERT_NE(nullptr, pidl);
    EXPECT_EQ(S_OK, InvokeOn(pidl));
    ILFree(pidl);
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
        saveFolder_ = Temp() + L"\\library save folder";
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

    void Fail(DWORD step, HRESULT code) { FailFakeLibraryStep(step, code); }

    PIDLIST_ABSOLUTE virtualFolder_ = nullptr;
    std::wstring saveFolder_;
    TaskMemorySpy* spy_ = nullptr;
    std::map<void*, size_t> before_;
};

TEST_F(LibraryLaunchTest, LibraryBecomesItsDefaultSaveFolder) {
    EXPECT_EQ(S_OK, InvokeOn(virtualFolder_));
    EXPECT_EQ(Expected(Engine(), saveFolder_), WaitForLaunch());
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
        Fail(step, codes[step - 1]);
        EXPECT_EQ(codes[step - 1], InvokeOn(virtualFolder_)) << "step " << step;
        EXPECT_EQ(0, LiveFakeLibraryObjects()) << "step " << step;
        EXPECT_EQ(0u, TaskMemoryLeft()) << "step " << step;
    }
    EXPECT_TRUE(ReadUtf16File(Log()).empty());
}

TEST_F(LibraryLaunchTest, SaveFolderLongerThanTheObjectHoldsIsRefusedWhole) {
    // 999 characters fit with the terminator; 1000 do not.
    std::wstring fits = L"C:\\";
    fits.append(999 - fits.size(), L'a');
    SetFakeLibrarySaveFolder(fits);
    EXPECT_EQ(S_OK, InvokeOn(virtualFolder_));
    EXPECT_EQ(Expected(Engine(), fits), WaitForLaunch());

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
    Fail(1, E_NOINTERFACE);
    EXPECT_EQ(E_NOINTERFACE, InvokeOn(bin));
    ILFree(bin);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
