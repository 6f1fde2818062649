// The menu entry as the shell builds it: a real clipboard and a real HMENU.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <map>
#include <string>

#include "PutClipboardFiles.h"
#include "harness/MenuObject.h"
#include "harness/TaskMemorySpy.h"
#include "support/Clipboard.h"
#include "support/Product.h"
#include "support/Registry.h"

using namespace brelltest;

namespace {

constexpr wchar_t kHelpText[] = L"Paste files with Brellow for best performance";

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(objects_.ok());
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        folder_ = FolderPidl(windows);
        ASSERT_NE(nullptr, folder_);
        menu_ = objects_.Create(folder_);
        ASSERT_NE(nullptr, menu_);
        popup_ = CreatePopupMenu();
        ASSERT_NE(nullptr, popup_);
        AppendMenuW(popup_, MF_STRING, 1, L"first");
        AppendMenuW(popup_, MF_STRING, 2, L"second");
    }
    void TearDown() override {
        if (popup_) DestroyMenu(popup_);
        if (menu_) menu_->Release();
        if (folder_) ILFree(folder_);
        EXPECT_EQ(S_OK, objects_.dll().DllCanUnloadNow());
    }

    std::wstring ItemText(int position) {
        wchar_t text[128] = {};
        GetMenuStringW(popup_, position, text, 128, MF_BYPOSITION);
        return text;
    }

    MenuObjects objects_;
    PIDLIST_ABSOLUTE folder_ = nullptr;
    IContextMenu* menu_ = nullptr;
    HMENU popup_ = nullptr;
};

TEST_F(MenuTest, FilesOnTheClipboardAddOneStringItemAtTheGivenPlace) {
    ASSERT_TRUE(brell::PutClipboardFiles({L"C:\\windows\\win.ini", L"C:\\windows\\system.ini"}));
    const HRESULT hr = menu_->QueryContextMenu(popup_, 1, 100, 200, CMF_NORMAL);
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), hr);
    ASSERT_EQ(3, GetMenuItemCount(popup_));
    EXPECT_EQ(100u, GetMenuItemID(popup_, 1));
    EXPECT_EQ(L"Paste with Brellow", ItemText(1));
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(popup_, 1, TRUE, &info));
    EXPECT_EQ(static_cast<UINT>(MFT_STRING), info.fType);
    EXPECT_EQ(L"first", ItemText(0));
    EXPECT_EQ(L"second", ItemText(2));
}

TEST_F(MenuTest, EqualFirstAndLastIdsStillAddTheItem) {
    ASSERT_TRUE(brell::PutClipboardFiles({L"C:\\windows\\win.ini"}));
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1),
              menu_->QueryContextMenu(popup_, 0, 7, 7, CMF_EXPLORE));
    ASSERT_EQ(3, GetMenuItemCount(popup_));
    EXPECT_EQ(7u, GetMenuItemID(popup_, 0));
}

TEST_F(MenuTest, NoFilesOnTheClipboardAddNothing) {
    ASSERT_TRUE(brell::PutClipboardText(L"C:\\windows\\win.ini"));
    EXPECT_EQ(S_OK, menu_->QueryContextMenu(popup_, 0, 100, 200, CMF_NORMAL));
    EXPECT_EQ(2, GetMenuItemCount(popup_));
    ASSERT_TRUE(EmptyTheClipboard());
    EXPECT_EQ(S_OK, menu_->QueryContextMenu(popup_, 0, 100, 200, CMF_NORMAL));
    EXPECT_EQ(2, GetMenuItemCount(popup_));
}

TEST_F(MenuTest, DefaultOnlyAddsNothingWhateverElseIsAsked) {
    ASSERT_TRUE(brell::PutClipboardFiles({L"C:\\windows\\win.ini"}));
    for (UINT flags : {UINT(CMF_DEFAULTONLY), UINT(CMF_DEFAULTONLY | CMF_EXPLORE),
                       UINT(CMF_DEFAULTONLY | CMF_NODEFAULT | CMF_EXTENDEDVERBS | CMF_CANRENAME)}) {
        EXPECT_EQ(S_OK, menu_->QueryContextMenu(popup_, 0, 100, 200, flags)) << flags;
        EXPECT_EQ(2, GetMenuItemCount(popup_)) << flags;
    }
    // Other flags alone do not stop the entry.
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1),
              menu_->QueryContextMenu(popup_, 0, 100, 200, CMF_EXTENDEDVERBS | CMF_NOVERBS));
    EXPECT_EQ(3, GetMenuItemCount(popup_));
}

TEST_F(MenuTest, HelpTextFitsOrIsRefusedWithoutWritingPastTheBuffer) {
    wchar_t buffer[260];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(S_OK, menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr,
                                            reinterpret_cast<CHAR*>(buffer), 260));
    EXPECT_STREQ(kHelpText, buffer);

    // Exactly the text and its terminator.
    constexpr UINT needed = sizeof(kHelpText) / sizeof(wchar_t);
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(S_OK, menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr,
                                            reinterpret_cast<CHAR*>(buffer), needed));
    EXPECT_STREQ(kHelpText, buffer);
    EXPECT_EQ(L'#', buffer[needed]);

    // One character short: a failure and an empty string, nothing beyond.
    for (UINT cch : {needed - 1, 10u, 1u}) {
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
                  menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr,
                                          reinterpret_cast<CHAR*>(buffer), cch));
        EXPECT_EQ(L'\0', buffer[0]);
        for (UINT i = 1; i < 260; ++i) ASSERT_EQ(L'#', buffer[i]) << cch << " at " << i;
    }
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
              menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(buffer), 0));
    EXPECT_EQ(L'#', buffer[0]);
    EXPECT_EQ(E_INVALIDARG, menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, nullptr, 260));
}

TEST_F(MenuTest, OtherCommandStringsLeaveTheBufferAlone) {
    for (UINT type : {UINT(GCS_VERBA), UINT(GCS_HELPTEXTA), UINT(GCS_VALIDATEA), UINT(GCS_VERBW),
                      UINT(GCS_VALIDATEW)}) {
        wchar_t buffer[260];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        EXPECT_EQ(S_OK, menu_->GetCommandString(0, type, nullptr, reinterpret_cast<CHAR*>(buffer), 260))
            << type;
        for (wchar_t c : buffer) ASSERT_EQ(L'#', c) << type;
    }
}

TEST_F(MenuTest, InitializeWithoutFolderSucceedsAndInvokeThenRefuses) {
    IContextMenu* empty = objects_.Create(nullptr);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(E_UNEXPECTED, Invoke(empty));
    EXPECT_EQ(E_INVALIDARG, empty->InvokeCommand(nullptr));
    empty->Release();
}

// The object's own copy of the folder's ID list, watched in the COM task
// allocator that ILClone and ILFree use: which copies are live, not merely
// how many calls were made.
class FolderCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(objects_.ok());
        spy_ = TaskMemorySpy::Instance();
        ASSERT_NE(nullptr, spy_);
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        first_ = FolderPidl(windows);
        second_ = FolderPidl(std::wstring(windows) + L"\\system32");
        ASSERT_NE(nullptr, first_);
        ASSERT_NE(nullptr, second_);
        // No engine installed: a command that gets as far as the launch ends
        // there, with nothing started.
        DeleteTree(HKEY_LOCAL_MACHINE, kProductKey, KEY_WOW64_32KEY);
        before_ = spy_->LiveBlocks();
    }
    void TearDown() override {
        if (first_) ILFree(first_);
        if (second_) ILFree(second_);
        EXPECT_EQ(S_OK, objects_.dll().DllCanUnloadNow());
    }

    // How many blocks allocated since set-up hold an exact copy of folder.
    int CopiesOf(PCIDLIST_ABSOLUTE folder) {
        const UINT size = ILGetSize(folder);
        int copies = 0;
        for (void* block : spy_->BlocksSince(before_)) {
            if (spy_->SizeOf(block) == size && std::memcmp(block, folder, size) == 0) ++copies;
        }
        return copies;
    }
    size_t BlocksSinceSetUp() { return spy_->BlocksSince(before_).size(); }

    MenuObjects objects_;
    TaskMemorySpy* spy_ = nullptr;
    PIDLIST_ABSOLUTE first_ = nullptr;
    PIDLIST_ABSOLUTE second_ = nullptr;
    std::map<void*, size_t> before_;
};

TEST_F(FolderCopyTest, InitializeTwiceFreesTheFirstCopy) {
    IContextMenu* menu = objects_.Create(first_);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(1, CopiesOf(first_));
    EXPECT_EQ(1u, BlocksSinceSetUp());

    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(S_OK, init->Initialize(second_, nullptr, nullptr));
    EXPECT_EQ(0, CopiesOf(first_));
    EXPECT_EQ(1, CopiesOf(second_));
    EXPECT_EQ(1u, BlocksSinceSetUp());

    // A null folder gives the held copy up and leaves none.
    EXPECT_EQ(S_OK, init->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, BlocksSinceSetUp());
    EXPECT_EQ(S_OK, init->Initialize(first_, nullptr, nullptr));
    EXPECT_EQ(1, CopiesOf(first_));

    init->Release();
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(0u, BlocksSinceSetUp());
}

TEST_F(FolderCopyTest, MenuShownAndDismissedFreesTheCopyOnRelease) {
    ASSERT_TRUE(brell::PutClipboardFiles({L"C:\\windows\\win.ini"}));
    IContextMenu* menu = objects_.Create(first_);
    ASSERT_NE(nullptr, menu);
    HMENU popup = CreatePopupMenu();
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1),
              menu->QueryContextMenu(popup, 0, 1, 10, CMF_NORMAL));
    wchar_t help[64];
    EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_HELPTEXTW, nullptr,
                                           reinterpret_cast<CHAR*>(help), 64));
    DestroyMenu(popup);
    // Still held while the menu is open.
    EXPECT_EQ(1, CopiesOf(first_));
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(0u, BlocksSinceSetUp());
}

TEST_F(FolderCopyTest, InvokeCommandGivesTheCopyUpOnce) {
    IContextMenu* menu = objects_.Create(first_);
    ASSERT_NE(nullptr, menu);
    // Refused verbs leave the folder where it is.
    EXPECT_EQ(E_FAIL, Invoke(menu, "paste"));
    EXPECT_EQ(E_FAIL, Invoke(menu, MAKEINTRESOURCEA(1)));
    EXPECT_EQ(1, CopiesOf(first_));

    // Used: freed before the engine is looked for, so also when it is not
    // installed; the registry reads leave nothing behind either.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Invoke(menu, nullptr));
    EXPECT_EQ(0u, BlocksSinceSetUp());
    EXPECT_EQ(E_UNEXPECTED, Invoke(menu, nullptr));
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(0u, BlocksSinceSetUp());
}

TEST_F(FolderCopyTest, FailedLibraryRouteReleasesEveryNameAndItem) {
    // A virtual folder that no library stands behind: the parsing name, the
    // shell item and its ID list all come and go within the call.
    PIDLIST_ABSOLUTE drives = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives));
    before_ = spy_->LiveBlocks();
    IContextMenu* menu = objects_.Create(drives);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(1, CopiesOf(drives));
    EXPECT_TRUE(FAILED(Invoke(menu, nullptr)));
    EXPECT_EQ(0u, BlocksSinceSetUp());
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(0u, BlocksSinceSetUp());
    ILFree(drives);
}

}  // namespace
