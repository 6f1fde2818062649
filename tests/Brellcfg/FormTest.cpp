// TForm1 created in the test's own process, for what another process cannot
// see of it: the fonts of its controls and the focus kept across activation.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Application.h"
#include "TestText.h"
#include "Unit1.h"

namespace brell {
namespace {

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin");
        ASSERT_TRUE(form_.Create());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin"); }

    TApplication app_{GetModuleHandleW(nullptr)};
    TForm1 form_{app_};
};

TEST_F(FormTest, EveryControlUsesTahomaEightPoint) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    int controls = 0;
    for (HWND child = GetWindow(form_.Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ++controls;
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
        ASSERT_NE(nullptr, font) << "no font on control " << GetDlgCtrlID(child);
        LOGFONTW lf = {};
        ASSERT_EQ(static_cast<int>(sizeof lf), GetObjectW(font, sizeof lf, &lf));
        EXPECT_EQ(std::wstring(L"Tahoma"), lf.lfFaceName);
        EXPECT_EQ(-MulDiv(8, dpi, 72), lf.lfHeight);
        if (dpi == 96) {
            EXPECT_EQ(-11, lf.lfHeight);
        }
        EXPECT_LE(lf.lfWeight, FW_NORMAL);
        EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
        EXPECT_EQ(DEFAULT_CHARSET, lf.lfCharSet);
    }
    EXPECT_EQ(15, controls);
}

TEST_F(FormTest, ClassBackgroundIsButtonFace) {
    EXPECT_EQ(COLOR_BTNFACE + 1, static_cast<int>(GetClassLongPtrW(form_.Handle(), GCLP_HBRBACKGROUND)));
}

TEST_F(FormTest, WindowIsHiddenUntilShownAndFieldsHoldTheDefaults) {
    EXPECT_FALSE(IsWindowVisible(form_.Handle()));
    EXPECT_EQ(L"1700", form_.FieldText(NumberField::BufferUp));
    EXPECT_EQ(L"30", form_.FieldText(NumberField::BufferRatio));
    EXPECT_EQ(L"30", form_.FieldText(NumberField::BufferDown));
    EXPECT_TRUE(form_.Checked(SwitchField::WriteCache));
    EXPECT_TRUE(form_.Checked(SwitchField::Expand));
    EXPECT_EQ(nullptr, form_.reg) << "the accessor outlived the first load";
}

}  // namespace
}  // namespace brell
