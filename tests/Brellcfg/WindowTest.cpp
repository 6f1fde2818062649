// Brellcfg.exe end to end: the real program under Wine and Xvfb, driven
// through its window, its message boxes and real keyboard and mouse input,
// with the machine registry compared afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "AppDriver.h"
#include "Registry.h"
#include "support/Folders.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/Text.h"
#include "support/WindowSearch.h"

namespace brell::test {
namespace {

using brelltest::kSettingsKey;
using brelltest::Utf8;
using brelltest::WaitFor;
using brelltest::WindowText;
using Value = brelltest::RegValue;
using Values = brelltest::RegValues;

Value Dword(uint32_t v) { return brelltest::DwordValue(v); }

void Put(const wchar_t* name, const Value& v) {
    ASSERT_EQ(ERROR_SUCCESS, brelltest::WriteValue(HKEY_LOCAL_MACHINE, kSettingsKey, name, v.type, v.data.data(),
                                                   static_cast<DWORD>(v.data.size())));
}

bool KeyExists() { return brelltest::KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey); }

// Every value of the settings key; none when it does not exist.
Values Stored() { return brelltest::ReadValues(HKEY_LOCAL_MACHINE, kSettingsKey).value_or(Values()); }

// The window's controls by the places of its layout.
struct Controls {
    HWND max, ratio, min, writeCache, expand, reset, reload, apply;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { brelltest::ForgetProduct(); }
    void TearDown() override { brelltest::ForgetProduct(); }

    // Starts the program and expects its window without any message box.
    void StartClean() {
        ASSERT_TRUE(app_.Start());
        ASSERT_TRUE(app_.WaitReady()) << "no window appeared";
        ASSERT_EQ(nullptr, app_.FindMessageBox()) << Utf8(AppDriver::MessageBoxText(app_.FindMessageBox()));
        FindControls();
    }

    void FindControls() {
        ASSERT_NE(nullptr, app_.MainWindow());
        c_ = {app_.ControlAt(32, 24),  app_.ControlAt(120, 24), app_.ControlAt(208, 24),
              app_.ControlAt(32, 64),  app_.ControlAt(168, 64), app_.ControlAt(8, 120),
              app_.ControlAt(113, 120), app_.ControlAt(215, 120)};
        for (HWND h : {c_.max, c_.ratio, c_.min, c_.writeCache, c_.expand, c_.reset, c_.reload, c_.apply})
            ASSERT_NE(nullptr, h) << "a control is not at its place";
    }

    void ExpectFields(const wchar_t* max, const wchar_t* ratio, const wchar_t* min, bool writeCache, bool expand) {
        EXPECT_EQ(max, WindowText(c_.max));
        EXPECT_EQ(ratio, WindowText(c_.ratio));
        EXPECT_EQ(min, WindowText(c_.min));
        EXPECT_EQ(writeCache, app_.Checked(c_.writeCache));
        EXPECT_EQ(expand, app_.Checked(c_.expand));
    }

    // Clicks the button and expects a message box with this text, owned by
    // the settings window, which stays disabled while the box is open.
    void ClickExpectingError(HWND button, const std::wstring& text) {
        app_.Click(button);
        HWND box = app_.WaitMessageBox();
        ASSERT_NE(nullptr, box) << "no message box";
        EXPECT_EQ(text, AppDriver::MessageBoxText(box));
        EXPECT_EQ(app_.Main(), GetWindow(box, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(app_.Main()));
        ASSERT_TRUE(app_.DismissMessageBox(box));
        EXPECT_TRUE(IsWindowEnabled(app_.Main()));
        EXPECT_TRUE(IsWindowVisible(app_.Main())) << "the program did not go on";
    }

    void CloseExpectingExitCodeZero() { EXPECT_EQ(0, app_.Close()); }

    AppDriver app_;
    Controls c_ = {};
};

TEST_F(WindowTest, FirstStartShowsDefaultsAndLeavesAnEmptyKey) {
    StartClean();
    ExpectFields(L"1700", L"30", L"30", true, true);
    EXPECT_TRUE(KeyExists()) << "the first load did not create the settings key";
    EXPECT_TRUE(Stored().empty());
    CloseExpectingExitCodeZero();
    EXPECT_TRUE(Stored().empty()) << "closing the window wrote something";
}

// The dots per inch of the programs started while it lives: Wine reads
// LogPixels from the user's desktop settings when a process starts (this
// process keeps the 96 it started with). The old setting comes back on
// destruction.
class DisplayDpi {
public:
    explicit DisplayDpi(DWORD dpi)
        : hadValue_(brelltest::ReadDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", &old_)),
          set_(brelltest::WriteDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", dpi) == ERROR_SUCCESS) {}
    ~DisplayDpi() {
        if (hadValue_) {
            brelltest::WriteDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", old_);
        } else {
            brelltest::DeleteValue(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
        }
    }
    DisplayDpi(const DisplayDpi&) = delete;
    DisplayDpi& operator=(const DisplayDpi&) = delete;
    bool Set() const { return set_; }

private:
    static constexpr wchar_t kDesktop[] = L"Control Panel\\Desktop";
    DWORD old_ = 0;
    bool hadValue_;
    bool set_;
};

// The program's font as another process measures it: "Tahoma", 8 points at
// the given dpi, selected into a memory DC.
class FormFontAt {
public:
    explicit FormFontAt(int dpi) : dc_(CreateCompatibleDC(nullptr)) {
        LOGFONTW lf = {};
        lf.lfHeight = -MulDiv(8, dpi, 72);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpyW(lf.lfFaceName, L"Tahoma");
        font_ = CreateFontIndirectW(&lf);
        old_ = SelectObject(dc_, font_);
    }
    ~FormFontAt() {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    FormFontAt(const FormFontAt&) = delete;
    FormFontAt& operator=(const FormFontAt&) = delete;

    std::wstring Face() const {
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc_, LF_FACESIZE, face);
        return face;
    }
    // The box a single line of text takes.
    SIZE Extent(const std::wstring& text) const {
        RECT box = {};
        DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &box, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        return {box.right - box.left, box.bottom - box.top};
    }

private:
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// What the screen shows in a rectangle (screen coordinates), pixel by pixel.
class ScreenPixels {
public:
    explicit ScreenPixels(const RECT& r) : width_(r.right - r.left), height_(r.bottom - r.top) {
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width_, height_, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        pixels_.assign(p, p + static_cast<size_t>(width_) * height_);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    COLORREF At(int x, int y) const {
        const DWORD xrgb = pixels_[static_cast<size_t>(y) * width_ + x];
        return RGB((xrgb >> 16) & 0xFF, (xrgb >> 8) & 0xFF, xrgb & 0xFF);
    }
    // Whether the column holds only this colour.
    bool ColumnIs(int x, COLORREF colour) const {
        for (int y = 0; y < height_; ++y)
            if (At(x, y) != colour) return false;
        return true;
    }
    int Width() const { return width_; }

private:
    int width_, height_;
    std::vector<DWORD> pixels_;
};

// The layout at 96 dpi in creation order, which is the Tab order and the
// order of the window's children: where each control is and what it shows.
// Labels size themselves, so their width and height are left out.
struct Placed {
    int left, top, width, height;
    const wchar_t* cls;
    const wchar_t* caption;
};
const Placed kLayout[] = {
    {32, 24, 57, 21, L"Edit", L"1700"},
    {120, 24, 57, 21, L"Edit", L"30"},
    {32, 64, 97, 17, L"Button", L"use write cache"},
    {208, 24, 57, 21, L"Edit", L"30"},
    {8, 120, 75, 25, L"Button", L"Reset"},
    {215, 120, 75, 25, L"Button", L"Apply"},
    {168, 64, 97, 17, L"Button", L"expand buffer"},
    {113, 120, 75, 25, L"Button", L"Reload"},
    {32, 5, 0, 0, L"Static", L"max"},
    {120, 5, 0, 0, L"Static", L"ratio"},
    {208, 5, 0, 0, L"Static", L"min"},
    {90, 27, 0, 0, L"Static", L"MB"},
    {178, 27, 0, 0, L"Static", L"%"},
    {266, 27, 0, 0, L"Static", L"MB"},
    {8, 151, 0, 0, L"Static", nullptr},  // the credit line
};

class LayoutTest : public WindowTest, public ::testing::WithParamInterface<int> {
protected:
    int Scaled(int length) const { return MulDiv(length, GetParam(), 96); }
};

// At 96 dpi the window is the table's; at 120 and 144 every place and size
// grows with the font, so that no caption is cut: each label is as large as
// its caption in the window's font, and every control lies in the window.
TEST_P(LayoutTest, WindowAndControlsFollowTheLayoutAndShowEveryCaptionWhole) {
    const int dpi = GetParam();
    const DisplayDpi display(static_cast<DWORD>(dpi));
    ASSERT_TRUE(display.Set());
    const FormFontAt font(dpi);
    ASSERT_EQ(L"Tahoma", font.Face()) << "no Tahoma in this prefix: captions would be measured in another face";

    ASSERT_TRUE(app_.Start());
    ASSERT_TRUE(app_.WaitReady()) << "no window appeared";
    ASSERT_EQ(nullptr, app_.FindMessageBox());
    HWND main = app_.MainWindow();
    EXPECT_EQ(L"Brellow V Settings", WindowText(main));
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(Scaled(298), client.right);
    EXPECT_EQ(Scaled(168), client.bottom);
    if (dpi == 96) {
        EXPECT_EQ(298, client.right);
        EXPECT_EQ(168, client.bottom);
    }
    const LONG style = GetWindowLongW(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_FALSE(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
    EXPECT_EQ(nullptr, GetWindow(main, GW_OWNER)) << "the window needs its own taskbar button";
    RECT frame;
    GetWindowRect(main, &frame);
    EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2, (frame.left + frame.right) / 2, 1);
    EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (frame.top + frame.bottom) / 2, 1);

    // Redrawn now, for the check boxes' pixels below.
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HWND control = GetWindow(main, GW_CHILD);
    for (const Placed& e : kLayout) {
        ASSERT_NE(nullptr, control) << "fewer than 15 controls";
        const std::wstring caption = WindowText(control);
        if (e.caption) {
            EXPECT_EQ(e.caption, caption);
        } else {
            EXPECT_NE(std::wstring::npos, caption.find(L"Halvorin")) << Utf8(caption);
        }
        const std::string what = Utf8(caption);
        wchar_t cls[32] = {};
        GetClassNameW(control, cls, 32);
        EXPECT_EQ(0, lstrcmpiW(e.cls, cls)) << what << " is a " << Utf8(cls);
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(Scaled(e.left), r.left) << what;
        EXPECT_EQ(Scaled(e.top), r.top) << what;
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << what << " reaches out of the window: " << r.left << "," << r.top << "-" << r.right << ","
            << r.bottom;
        const LONG s = GetWindowLongW(control, GWL_STYLE);
        const HWND current = control;
        control = GetWindow(control, GW_HWNDNEXT);
        if (lstrcmpiW(cls, L"Static") == 0) {
            const SIZE text = font.Extent(caption);
            EXPECT_LE(text.cx, r.right - r.left) << what << " is cut at the right";
            EXPECT_LE(text.cy, r.bottom - r.top) << what << " is cut at the bottom";
            EXPECT_EQ(SS_LEFTNOWORDWRAP, s & SS_TYPEMASK) << what << " may wrap";
            continue;
        }
        EXPECT_EQ(Scaled(e.width), r.right - r.left) << what;
        EXPECT_EQ(Scaled(e.height), r.bottom - r.top) << what;
        if (lstrcmpiW(cls, L"Edit") == 0) {
            EXPECT_TRUE(s & ES_RIGHT);
            EXPECT_FALSE(s & ES_MULTILINE);
            EXPECT_TRUE(GetWindowLongW(current, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
            EXPECT_GE(static_cast<DWORD>(SendMessageW(current, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu)
                << "text is limited";
            continue;
        }
        const LONG kind = s & BS_TYPEMASK;
        EXPECT_TRUE(kind == BS_AUTOCHECKBOX || kind == BS_PUSHBUTTON) << "button kind " << kind;
        if (kind == BS_AUTOCHECKBOX) {
            // A caption cut at the box's right edge leaves its strokes in the
            // last columns; a whole one leaves them bare.
            RECT onScreen;
            GetWindowRect(current, &onScreen);
            const ScreenPixels pixels(onScreen);
            const COLORREF face = GetSysColor(COLOR_BTNFACE);
            EXPECT_TRUE(pixels.ColumnIs(pixels.Width() - 1, face) && pixels.ColumnIs(pixels.Width() - 2, face))
                << what << " is cut at the right";
        }
    }
    EXPECT_EQ(nullptr, control) << "more than 15 controls";
    CloseExpectingExitCodeZero();
}

INSTANTIATE_TEST_SUITE_P(Dpi, LayoutTest, ::testing::Values(96, 120, 144),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

TEST_F(WindowTest, LoadShowsStoredValuesAndApplyWritesThemBack) {
    Put(L"bmax", Dword(2048));
    Put(L"bratio", Dword(static_cast<uint32_t>(-5)));
    Put(L"bmin", Dword(0xFFFFFFFFu));
    Put(L"wcache", Dword(5));
    Put(L"expand", Dword(0));
    StartClean();
    ExpectFields(L"2048", L"-5", L"-1", true, false);

    app_.Click(c_.apply);
    ASSERT_EQ(nullptr, app_.FindMessageBox());
    const Values expected = {{L"bmax", Dword(2048)},     {L"bratio", Dword(static_cast<uint32_t>(-5))},
                             {L"bmin", Dword(0xFFFFFFFFu)}, {L"wcache", Dword(1)},
                             {L"expand", Dword(0)}};
    EXPECT_EQ(expected, Stored()) << "wcache 5 must come back as 1";
    CloseExpectingExitCodeZero();
}

struct StartupError {
    const wchar_t* name;
    Value value;
    const wchar_t* message;
    const wchar_t* max;  // what the window shows afterwards
};

class StartupErrorTest : public WindowTest, public ::testing::WithParamInterface<StartupError> {};

TEST_P(StartupErrorTest, ShownBeforeTheWindowThenTheWindowOpens) {
    const StartupError& p = GetParam();
    Put(L"bmax", Dword(999));
    Put(L"bratio", Dword(44));
    Put(L"bmin", Dword(55));
    Put(L"wcache", Dword(0));
    Put(L"expand", Dword(0));
    Put(p.name, p.value);
    const Values before = Stored();

    ASSERT_TRUE(app_.Start());
    HWND box = app_.WaitMessageBox();
    ASSERT_NE(nullptr, box) << "no message box";
    EXPECT_EQ(p.message, AppDriver::MessageBoxText(box)) << "no period after an apostrophe";
    ASSERT_NE(nullptr, app_.MainWindow());
    EXPECT_FALSE(IsWindowVisible(app_.Main())) << "the window was shown before the error";
    HWND owner = GetWindow(box, GW_OWNER);
    wchar_t ownerClass[32] = {};
    GetClassNameW(owner, ownerClass, 32);
    EXPECT_EQ(std::wstring(L"TApplication"), ownerClass) << "no active window: the application window owns the box";
    ASSERT_TRUE(app_.DismissMessageBox(box));

    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(app_.Main()); }));
    FindControls();
    ExpectFields(p.max, L"30", L"30", true, true);
    CloseExpectingExitCodeZero();
    EXPECT_EQ(before, Stored());
}

INSTANTIATE_TEST_SUITE_P(
    WrongTypes, StartupErrorTest,
    ::testing::Values(
        StartupError{L"bratio", {REG_BINARY, {1, 0, 0, 0}}, L"Invalid data type for 'bratio'", L"999"},
        StartupError{L"bmax", {REG_SZ, {'7', 0, 0, 0}}, L"Invalid data type for 'bmax'", L"1700"},
        StartupError{L"bmax", {REG_SZ, {'1', 0, '7', 0, '0', 0, '0', 0, 0, 0}}, L"Failed to get data for 'bmax'",
                     L"1700"},
        StartupError{L"bmax", {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}}, L"Failed to get data for 'bmax'", L"1700"}));

TEST_F(WindowTest, InvalidNumberStopsTheSaveAndTheProgramGoesOn) {
    StartClean();
    ASSERT_TRUE(app_.TypeInto(c_.max, L"12a"));
    ClickExpectingError(c_.apply, L"''12a'' is not a valid integer value.");
    EXPECT_EQ(L"12a", WindowText(c_.max));
    EXPECT_TRUE(Stored().empty()) << "something was written";

    // Still usable: a corrected field saves.
    ASSERT_TRUE(app_.TypeInto(c_.max, L"$10"));
    app_.Click(c_.apply);
    ASSERT_EQ(nullptr, app_.FindMessageBox());
    EXPECT_EQ(Dword(16), Stored()[L"bmax"]);
    EXPECT_EQ(5u, Stored().size());
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, PartialSaveKeepsWhatWasWrittenBeforeTheBadField) {
    Put(L"bmax", Dword(1));
    Put(L"bratio", Dword(2));
    Put(L"bmin", Dword(3));
    Put(L"wcache", Dword(0));
    Put(L"expand", Dword(0));
    StartClean();
    ASSERT_TRUE(app_.TypeInto(c_.max, L"2000"));
    ASSERT_TRUE(app_.TypeInto(c_.ratio, L"abc"));
    ASSERT_TRUE(app_.TypeInto(c_.min, L"77"));
    ClickExpectingError(c_.apply, L"''abc'' is not a valid integer value.");
    const Values expected = {{L"bmax", Dword(2000)}, {L"bratio", Dword(2)}, {L"bmin", Dword(3)},
                             {L"wcache", Dword(0)}, {L"expand", Dword(0)}};
    EXPECT_EQ(expected, Stored());

    ASSERT_TRUE(app_.TypeInto(c_.ratio, L""));
    ClickExpectingError(c_.apply, L"'''' is not a valid integer value.");
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, ReloadKeepsTypedTextWhereNoValueIsStored) {
    Put(L"bmax", Dword(640));
    StartClean();
    ExpectFields(L"640", L"30", L"30", true, true);
    ASSERT_TRUE(app_.TypeInto(c_.max, L"1"));
    ASSERT_TRUE(app_.TypeInto(c_.ratio, L"55"));
    app_.Click(c_.writeCache);
    app_.Click(c_.reload);
    ASSERT_EQ(nullptr, app_.FindMessageBox());
    ExpectFields(L"640", L"55", L"30", false, true);
    EXPECT_EQ((Values{{L"bmax", Dword(640)}}), Stored());
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, ResetRestoresDefaultsWithoutWriting) {
    Put(L"bmax", Dword(640));
    Put(L"expand", Dword(0));
    StartClean();
    ASSERT_TRUE(app_.TypeInto(c_.ratio, L"99"));
    ASSERT_TRUE(app_.TypeInto(c_.min, L"x"));
    app_.Click(c_.writeCache);
    ExpectFields(L"640", L"99", L"x", false, false);
    app_.Click(c_.reset);
    ExpectFields(L"1700", L"30", L"30", true, true);
    CloseExpectingExitCodeZero();
    EXPECT_EQ((Values{{L"bmax", Dword(640)}, {L"expand", Dword(0)}}), Stored());
}

TEST_F(WindowTest, TabWalksTheTabOrderAndSelectsEntryFieldText) {
    StartClean();
    app_.Focus(c_.max);
    ASSERT_TRUE(WaitFor([&] { return app_.FocusedControl() == c_.max; }));
    const HWND order[] = {c_.ratio, c_.writeCache, c_.min, c_.reset, c_.apply, c_.expand, c_.reload, c_.max};
    for (HWND next : order) {
        app_.PressKey(VK_TAB);
        ASSERT_TRUE(WaitFor([&] { return app_.FocusedControl() == next; }))
            << "Tab went to " << Utf8(WindowText(app_.FocusedControl())) << " instead of " << Utf8(WindowText(next));
        if (next == c_.ratio || next == c_.min || next == c_.max) {
            DWORD start = 1, end = 0;
            SendMessageW(next, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(0u, start);
            EXPECT_EQ(static_cast<DWORD>(WindowText(next).size()), end) << "text not selected on Tab";
        }
    }
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, EnterAndEscapeTriggerNoButton) {
    StartClean();
    ASSERT_TRUE(app_.TypeInto(c_.max, L"5"));
    app_.PressKey(VK_RETURN);
    app_.PressKey(VK_ESCAPE);
    // Input is handled in order: once "7" shows, Enter and Escape are done.
    app_.TypeText(L"7");
    ASSERT_TRUE(WaitFor([&] { return WindowText(c_.max) == L"57"; })) << Utf8(WindowText(c_.max));
    EXPECT_EQ(nullptr, app_.FindMessageBox());
    EXPECT_TRUE(IsWindowVisible(app_.Main())) << "Escape closed the window";
    EXPECT_TRUE(Stored().empty()) << "Enter applied";
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, MouseClickIntoAFieldDoesNotSelectItsText) {
    StartClean();
    app_.Focus(c_.reset);
    ASSERT_TRUE(WaitFor([&] { return app_.FocusedControl() == c_.reset; }));
    app_.MouseClick(c_.max);
    ASSERT_TRUE(WaitFor([&] { return app_.FocusedControl() == c_.max; })) << "the click did not reach the field";
    DWORD start = 0, end = 0;
    SendMessageW(c_.max, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, end) << "a mouse click selected the text";
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, ApplyThatCannotOpenTheKeySaysSoAndWritesNothing) {
    // A volatile parent refuses the non-volatile settings key: load and save
    // cannot open it, as when the program lacks the rights.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin\\Brellow", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    StartClean();  // the load stays silent
    ExpectFields(L"1700", L"30", L"30", true, true);
    const std::wstring reason = SystemErrorMessage(ERROR_CHILD_MUST_BE_VOLATILE);
    ClickExpectingError(c_.apply, L"The settings were not saved: the key "
                                  L"'HKEY_LOCAL_MACHINE\\software\\Halvorin\\Brellow\\init' cannot be opened. " +
                                      reason);
    EXPECT_FALSE(KeyExists());
    app_.Click(c_.reload);  // still silent
    EXPECT_EQ(nullptr, app_.FindMessageBox());
    CloseExpectingExitCodeZero();
}

TEST_F(WindowTest, TitleComesFromTheFileName) {
    const brelltest::ScratchFolder dir(L"brellcfg.title.test");
    const std::wstring exe = dir / L"MY.SETTINGS.EXE";
    ASSERT_TRUE(CopyFileW(brelltest::BinPath(L"Brellcfg.exe").c_str(), exe.c_str(), FALSE));
    Put(L"bmin", {REG_BINARY, {}});
    ASSERT_TRUE(app_.Start(exe));
    HWND box = app_.WaitMessageBox(L"My");
    ASSERT_NE(nullptr, box) << "no message box captioned My";
    EXPECT_EQ(L"Invalid data type for 'bmin'", AppDriver::MessageBoxText(box));
    ASSERT_TRUE(app_.DismissMessageBox(box));
    ASSERT_TRUE(WaitFor([&] { return app_.MainWindow() && IsWindowVisible(app_.Main()); }));
    CloseExpectingExitCodeZero();
}

class ShowCommandTest : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShowCommandTest, StartupShowCommandIsHonoured) {
    const int show = GetParam();
    ASSERT_TRUE(app_.Start(brelltest::BinPath(L"Brellcfg.exe"), show));
    ASSERT_TRUE(app_.WaitReady());
    EXPECT_EQ(show == SW_SHOWMAXIMIZED, IsZoomed(app_.Main()) != FALSE);
    EXPECT_EQ(show == SW_SHOWMINNOACTIVE, IsIconic(app_.Main()) != FALSE);
    CloseExpectingExitCodeZero();
}

INSTANTIATE_TEST_SUITE_P(Commands, ShowCommandTest,
                         ::testing::Values(SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWMINNOACTIVE, SW_HIDE));

}  // namespace
}  // namespace brell::test
