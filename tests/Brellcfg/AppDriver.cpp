#include "AppDriver.h"

#include <vector>

namespace brell::test {

namespace {

struct Search {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != s->processId) return TRUE;
    if (s->visibleOnly && !IsWindowVisible(window)) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (lstrcmpW(cls, s->className) != 0) return TRUE;
    if (WindowText(window) != s->caption) return TRUE;
    s->found = window;
    return FALSE;
}

HWND FindTopLevelWindow(DWORD pid, const wchar_t* cls, const std::wstring& caption, bool visibleOnly) {
    Search s = {pid, cls, caption.c_str(), visibleOnly, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

}  // namespace

bool WaitFor(const std::function<bool()>& cond) {
    for (int i = 0; i < 1000; ++i) {
        if (cond()) return true;
        Sleep(10);
    }
    return cond();
}

std::wstring TestBinDir() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    // WM_GETTEXT, not GetWindowTextW: the latter does not ask windows of
    // another process for their text.
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000, nullptr);
    return text;
}

AppDriver::~AppDriver() {
    if (attached_) AttachThreadInput(GetCurrentThreadId(), guiThread_, FALSE);
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
    }
    JoinClick();
}

bool AppDriver::Start(const std::wstring& exe, int showCommand) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // a queue, for AttachThreadInput
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (showCommand >= 0) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(showCommand);
    }
    PROCESS_INFORMATION pi = {};
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    processId_ = pi.dwProcessId;
    guiThread_ = pi.dwThreadId;
    return true;
}

HWND AppDriver::MainWindow() {
    if (!main_) main_ = FindTopLevelWindow(processId_, L"TForm1", L"Brellow V Settings", false);
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
    return FindTopLevelWindow(processId_, L"#32770", caption, true);
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
    if (!attached_) attached_ = AttachThreadInput(GetCurrentThreadId(), guiThread_, TRUE) != FALSE;
    SetForegroundWindow(main_);
    SetFocus(control);
}

HWND AppDriver::FocusedControl() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(guiThread_, &info)) return nullptr;
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
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

}  // namespace brell::test
