#include "ProgressWindow.h"

#include "ClashDialog.h"
#include "resource.h"

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

}  // namespace

ProgressWindow::ProgressWindow(CopyProgress& progress, bool moving) : progress_(progress), moving_(moving) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    Create();
}

void ProgressWindow::Create() {
    // The template names this class: a dialog's own window procedure, with
    // the room a dialog keeps in its window.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    window_.reset(CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this)));
    if (!window_) return;
    SetWindowTextW(window_.get(), moving_ ? L"Brellow - moving" : L"Brellow - copying");
    SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
}

INT_PTR CALLBACK ProgressWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE;  // no focus taken while the window is still hidden
    }
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return FALSE;
        self->Cancel();
        return TRUE;
    case WM_CLOSE:
        // Closing the window is a cancel; the copy thread ends the run.
        self->Cancel();
        return TRUE;
    case WM_TIMER:
        if (wParam == kRefreshTimer) self->Refresh();
        return TRUE;
    case kAskClash: {
        auto* request = reinterpret_cast<ClashRequest*>(lParam);
        // The question belongs to the engine's window: it shows now,
        // however short the paste has been so far.
        if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
        self->Refresh();
        request->answered = ShowClashDialog(window, *request->clash, *request->reply);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

void ProgressWindow::Cancel() {
    progress_.RequestCancel();
    EnableWindow(GetDlgItem(window_.get(), IDCANCEL), FALSE);
    SetDlgItemTextW(window_.get(), IDC_PROGRESS_RATE, L"cancelling...");
}

void ProgressWindow::Refresh() {
    const CopyProgress::Snapshot now = progress_.Read();
    const ULONGLONG elapsed = GetTickCount64() - started_;
    if (!IsWindowVisible(window_.get()) && elapsed >= kShowAfterMs) ShowWindow(window_.get(), SW_SHOWNORMAL);

    SetDlgItemTextW(window_.get(), IDC_PROGRESS_FILE,
                    now.filesTotal || !now.currentFile.empty() ? now.currentFile.c_str()
                    : moving_                                  ? L"Looking at the files to move..."
                                                               : L"Looking at the files to copy...");
    const std::wstring bytes = Megabytes(now.bytesDone) + L" of " + Megabytes(now.bytesTotal) + L"  (" +
                               std::to_wstring(now.filesDone) + L" of " + std::to_wstring(now.filesTotal) +
                               L" files)";
    SetDlgItemTextW(window_.get(), IDC_PROGRESS_BYTES, bytes.c_str());
    if (!progress_.CancelRequested() && elapsed > 0) {
        const double seconds = static_cast<double>(elapsed) / 1000.0;
        const double rate = static_cast<double>(now.bytesDone) / (1024.0 * 1024.0) / seconds;
        wchar_t text[64];
        swprintf(text, ARRAYSIZE(text), L"%.1f MB/s", rate);
        SetDlgItemTextW(window_.get(), IDC_PROGRESS_RATE, text);
    }
    const int position = now.bytesTotal ? static_cast<int>(now.bytesDone * 1000 / now.bytesTotal) : 0;
    SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}

void ProgressWindow::RunUntilDone(HANDLE worker) {
    started_ = GetTickCount64();
    if (window_) SetTimer(window_.get(), kRefreshTimer, 100, nullptr);
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(window_.get(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    if (window_) {
        KillTimer(window_.get(), kRefreshTimer);
        ShowWindow(window_.get(), SW_HIDE);
    }
}

bool ProgressWindow::Ask(const ClashInfo& clash, Reply& reply) {
    if (!window_) return false;
    ClashRequest request = {&clash, &reply, false};
    // Blocks until the window's thread, which pumps sent messages while it
    // waits for this thread, has the user's answer.
    SendMessageW(window_.get(), kAskClash, 0, reinterpret_cast<LPARAM>(&request));
    return request.answered;
}

}  // namespace brellow
