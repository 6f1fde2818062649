#include "ProgressWindow.h"

#include "ClashDialog.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace brellow {
namespace {

constexpr wchar_t kClassName[] = L"BrellowProgress";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr ULONGLONG kShowAfterMs = 500;
// Sent by the copying thread: lParam points to a ClashRequest.
constexpr UINT kAskClash = WM_APP + 1;

struct ClashRequest {
    const ClashInfo* clash;
    ClashAsker::Reply* reply;
    bool answered;
};

std::wstring Megabytes(std::uint64_t bytes) {
    wchar_t text[64];
    swprintf(text, ARRAYSIZE(text), L"%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

HWND AddControl(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
                int id, HFONT font) {
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

}  // namespace

ProgressWindow::ProgressWindow(CopyProgress& progress, bool moving) : progress_(progress), moving_(moving) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    Create();
}

ProgressWindow::~ProgressWindow() {
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
}

void ProgressWindow::Create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);

    RECT frame = {0, 0, 420, 130};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&frame, style, FALSE);
    window_ = CreateWindowExW(0, kClassName, moving_ ? L"Brellow - moving" : L"Brellow - copying", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                              this);
    if (!window_) return;
    fileLabel_ = AddControl(window_, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS, 12, 10, 396, 18, 0, font_);
    bar_ = AddControl(window_, PROGRESS_CLASSW, L"", 0, 12, 34, 396, 16, 0, font_);
    bytesLabel_ = AddControl(window_, L"STATIC", L"", SS_LEFT, 12, 58, 250, 18, 0, font_);
    rateLabel_ = AddControl(window_, L"STATIC", L"", SS_RIGHT, 268, 58, 140, 18, 0, font_);
    cancelButton_ = AddControl(window_, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 318, 92, 90, 26,
                               IDCANCEL, font_);
    SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && self) {
            self->progress_.RequestCancel();
            EnableWindow(self->cancelButton_, FALSE);
            SetWindowTextW(self->rateLabel_, L"cancelling...");
            return 0;
        }
        break;
    case WM_CLOSE:
        // Closing the window is a cancel; the copy thread ends the run.
        if (self) SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    case WM_TIMER:
        if (self && wParam == kRefreshTimer) self->Refresh();
        return 0;
    case kAskClash:
        if (self) {
            auto* request = reinterpret_cast<ClashRequest*>(lParam);
            // The question belongs to the engine's window: it shows now,
            // however short the paste has been so far.
            if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
            self->Refresh();
            request->answered = ShowClashDialog(window, *request->clash, *request->reply);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ProgressWindow::Refresh() {
    const CopyProgress::Snapshot now = progress_.Read();
    const ULONGLONG elapsed = GetTickCount64() - started_;
    if (!IsWindowVisible(window_) && elapsed >= kShowAfterMs) ShowWindow(window_, SW_SHOWNORMAL);

    SetWindowTextW(fileLabel_, now.filesTotal || !now.currentFile.empty() ? now.currentFile.c_str()
                                                                          : moving_ ? L"Looking at the files to move..."
                                                                                    : L"Looking at the files to copy...");
    const std::wstring bytes = Megabytes(now.bytesDone) + L" of " + Megabytes(now.bytesTotal) + L"  (" +
                               std::to_wstring(now.filesDone) + L" of " + std::to_wstring(now.filesTotal) +
                               L" files)";
    SetWindowTextW(bytesLabel_, bytes.c_str());
    if (!progress_.CancelRequested() && elapsed > 0) {
        const double rate = static_cast<double>(now.bytesDone) / (1024.0 * 1024.0) / (elapsed / 1000.0);
        wchar_t text[64];
        swprintf(text, ARRAYSIZE(text), L"%.1f MB/s", rate);
        SetWindowTextW(rateLabel_, text);
    }
    const int position = now.bytesTotal ? static_cast<int>(now.bytesDone * 1000 / now.bytesTotal) : 0;
    SendMessageW(bar_, PBM_SETPOS, position, 0);
}

void ProgressWindow::RunUntilDone(HANDLE worker) {
    started_ = GetTickCount64();
    if (window_) SetTimer(window_, kRefreshTimer, 100, nullptr);
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(window_, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    if (window_) {
        KillTimer(window_, kRefreshTimer);
        ShowWindow(window_, SW_HIDE);
    }
}

}  // namespace brellow

namespace brellow {

bool ProgressWindow::Ask(const ClashInfo& clash, Reply& reply) {
    if (!window_) return false;
    ClashRequest request = {&clash, &reply, false};
    // Blocks until the window's thread, which pumps sent messages while it
    // waits for this thread, has the user's answer.
    SendMessageW(window_, kAskClash, 0, reinterpret_cast<LPARAM>(&request));
    return request.answered;
}

}  // namespace brellow
