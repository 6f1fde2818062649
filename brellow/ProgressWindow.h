// The small window that shows a copy in progress (file, bytes, rate) with a
// Cancel button. It appears only when the copy lasts longer than a moment.
#pragma once

#include "CopyProgress.h"

#include <windows.h>

namespace brellow {

class ProgressWindow {
public:
    explicit ProgressWindow(CopyProgress& progress);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Pumps messages until worker (a thread handle) has ended. The window is
    // created hidden and shown once the copy has taken about half a second.
    void RunUntilDone(HANDLE worker);

    HWND handle() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Create();
    void Refresh();

    CopyProgress& progress_;
    HWND window_ = nullptr;
    HWND fileLabel_ = nullptr;
    HWND bytesLabel_ = nullptr;
    HWND rateLabel_ = nullptr;
    HWND bar_ = nullptr;
    HWND cancelButton_ = nullptr;
    HFONT font_ = nullptr;
    ULONGLONG started_ = 0;
};

}  // namespace brellow
