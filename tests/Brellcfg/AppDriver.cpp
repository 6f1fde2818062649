#include "AppDriver.h"

#include "support/Folders.h"
#include "support/WindowSearch.h"

#include <vector>

namespace brell::test {

using brelltest::FindTopLevelWindow;
using brelltest::WaitFor;
using brelltest::WindowText;

AppDriver::~AppDriver() {
    if (attached_) AttachThreadInput(GetCurrentThreadId(), process_.info().dwThreadId, FALSE);
    process_.Stop(99, 10000);
    JoinClick();
}

bool AppDriver::Start(const std::wstring& exe, int showCommand) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // a queue, for AttachThreadInput
    brelltest::StartOptions options;
    options.application = exe;
    options.showCommand = showCommand;
    return process_.Start(L"\"" + exe + L"\"", options);
}

bool AppDriver::Start() { return Start(brelltest::BinPath(L"Brellcfg.exe")); }

HWND AppDriver::MainWindow() {
    if (!main_) main_ = FindTopLevelWindow(process_.info().dwProcessId, L"TForm1", L"Brellow V Settings", false);
    return main_;
}

bool AppDriver::WaitReady(const std::wstring& caption) {
    return WaitFor([&] {
        if (FindMessageBox(caption)) return true;
        HWND main = MainWindow();
        return main && IsWindowVisible(main);
    });
}

HWND AppDriver::FindMessageBox(const std::wstring& caption) const {
    return FindTopLevelWindow(process_.info().dwProcessId, L"#32770", caption.c_str(), true);
}

HWND AppDriver::WaitMessageBox(const std::wstring& caption) {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox(caption)) != nullptr; });
    return box;
}

std::wstring AppDriver::MessageBoxText(HWND box) {
    std::wstring text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        if (lstrcmpiW(cls, L"Static") != 0) continue;
        std::wstring t = WindowText(child);
        if (!t.empty()) text = t;
    }
    return text;
}

bool AppDriver::DismissMessageBox(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    const bool gone = WaitFor([&] { return !IsWindow(box); });
    JoinClick();
    return gone;
}

HWND AppDriver::ControlAt(int left, int top) const {
    for (HWND child = GetWindow(main_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
        if (r.left == left && r.top == top) return child;
    }
    return nullptr;
}

bool AppDriver::Checked(HWND checkBox) const {
    return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void AppDriver::Click(HWND button) {
    JoinClick();
    // BM_CLICK is sent from a helper thread: a click that raises a message
    // box returns only once the box is closed.
    clickDone_ = false;
    clickButton_ = button;
    click_ = CreateThread(nullptr, 0, ClickThread, this, 0, nullptr);
    if (!click_) ClickThread(this);
    WaitFor([&] { return clickDone_ || FindMessageBox(); });
}

DWORD WINAPI AppDriver::ClickThread(void* self) {
    auto* driver = static_cast<AppDriver*>(self);
    SendMessageW(driver->clickButton_, BM_CLICK, 0, 0);
    driver->clickDone_ = true;
    return 0;
}

void AppDriver::JoinClick() {
    if (!click_) return;
    WaitForSingleObject(click_, INFINITE);
    CloseHandle(click_);
    click_ = nullptr;
}

void AppDriver::Focus(HWND control) {
    if (!attached_) attached_ = AttachThreadInput(GetCurrentThreadId(), process_.info().dwThreadId, TRUE) != FALSE;
    SetForegroundWindow(main_);
    SetFocus(control);
}

HWND AppDriver::FocusedControl() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(process_.info().dwThreadId, &info)) return nullptr;
    return info.hwndFocus;
}

void AppDriver::PressKey(WORD virtualKey) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = virtualKey;
    input[0].ki.wScan = input[1].ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void AppDriver::TypeText(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = c;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    if (!inputs.empty()) SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool AppDriver::TypeInto(HWND edit, const std::wstring& text) {
    Focus(edit);
    if (!WaitFor([&] { return FocusedControl() == edit; })) return false;
    if (text.empty()) {
        PressKey(VK_DELETE);
    } else {
        TypeText(text);
    }
    return WaitFor([&] { return WindowText(edit) == text; });
}

void AppDriver::MouseClick(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    for (INPUT& i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = MulDiv(x, 65535, cx - 1);
        i.mi.dy = MulDiv(y, 65535, cy - 1);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, input, sizeof(INPUT));
}

long AppDriver::Close() {
    JoinClick();
    if (main_) PostMessageW(main_, WM_CLOSE, 0, 0);
    const DWORD code = process_.Wait(10000);
    return code == brelltest::kNoExitCode ? -1 : static_cast<long>(code);
}

}  // namespace brell::test
