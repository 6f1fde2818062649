// The menu entry as the shell builds it: a real clipboard and a real HMENU.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "server/Identifiers.h"
#include "support/MenuObject.h"
#include "support/TestSupport.h"

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
    ASSERT_TRUE(PutFilesOnClipboard({L"C:\\windows\\win.ini", L"C:\\windows\\system.ini"}));
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
    ASSERT_TRUE(PutFilesOnClipboard({L"C:\\windows\\win.ini"}));
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1),
              menu_->QueryContextMenu(popup_, 0, 7, 7, CMF_EXPLORE));
    ASSERT_EQ(3, GetMenuItemCount(popup_));
    EXPECT_EQ(7u, GetMenuItemID(popup_, 0));
}

TEST_F(MenuTest, NoFilesOnTheClipboardAddNothing) {
    ASSERT_TRUE(PutTextOnClipboard(L"C:\\windows\\win.ini"));
    EXPECT_EQ(S_OK, menu_->QueryContextMenu(popup_, 0, 100, 200, CMF_NORMAL));
    EXPECT_EQ(2, GetMenuItemCount(popup_));
    ASSERT_TRUE(EmptyTheClipboard());
    EXPECT_EQ(S_OK, menu_->QueryContextMenu(popup_, 0, 100, 200, CMF_NORMAL));
    EXPECT_EQ(2, GetMenuItemCount(popup_));
}

TEST_F(MenuTest, DefaultOnlyAddsNothingWhateverElseIsAsked) {
    ASSERT_TRUE(PutFilesOnClipboard({L"C:\\windows\\win.ini"}));
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
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    EXPECT_EQ(E_UNEXPECTED, empty->InvokeCommand(&info));
    EXPECT_EQ(E_INVALIDARG, empty->InvokeCommand(nullptr));
    empty->Release();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
