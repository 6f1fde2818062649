// TForm1 created in the test's own process, for what another process cannot
// see of it: the fonts of its controls, the face the system really draws
// them in, and the labels measured in those fonts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Application.h"
#include "Unit1.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/Text.h"

namespace brell {
namespace {

using brelltest::Utf8;

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        brelltest::ForgetProduct();
        ASSERT_TRUE(form_.Create());
    }
    void TearDown() override { brelltest::ForgetProduct(); }

    TApplication app_{GetModuleHandleW(nullptr)};
    TForm1 form_{app_};
};

bool IsLabel(HWND control) {
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    return lstrcmpiW(cls, L"Static") == 0;
}

std::wstring Text(HWND control) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    return text;
}

TEST_F(FormTest, EveryControlDrawsInTahomaEightPoint) {
    const int dpi = form_.Dpi();
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), dpi);
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

        // The face the text is really drawn in: without Tahoma installed the
        // system substitutes another one under the same request.
        HGDIOBJ old = SelectObject(screen, font);
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(screen, LF_FACESIZE, face);
        SelectObject(screen, old);
        EXPECT_EQ(std::wstring(L"Tahoma"), face)
            << "control " << GetDlgCtrlID(child) << " draws in another face (is tahoma.ttf in C:\\windows\\Fonts? "
            << "a test prefix booted before it was added there needs BRELL_WINE_FRESH=1)";
    }
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(15, controls);
}

TEST_F(FormTest, LabelsTakeTheSizeOfTheirCaptionsOnOneLine) {
    HDC screen = GetDC(nullptr);
    int labels = 0;
    for (HWND child = GetWindow(form_.Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsLabel(child)) continue;
        ++labels;
        const std::wstring caption = Text(child);
        HGDIOBJ old = SelectObject(screen, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
        SIZE extent = {};
        GetTextExtentPoint32W(screen, caption.c_str(), static_cast<int>(caption.size()), &extent);
        TEXTMETRICW metrics = {};
        GetTextMetricsW(screen, &metrics);
        SelectObject(screen, old);
        RECT r;
        GetWindowRect(child, &r);
        EXPECT_EQ(extent.cx, r.right - r.left) << Utf8(caption);
        EXPECT_EQ(metrics.tmHeight, r.bottom - r.top) << Utf8(caption);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        EXPECT_EQ(SS_LEFTNOWORDWRAP, style & SS_TYPEMASK) << Utf8(caption) << ": a label that may wrap";
        EXPECT_TRUE(style & SS_NOPREFIX);
    }
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(7, labels);
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
