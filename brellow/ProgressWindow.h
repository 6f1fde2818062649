// The small window that shows a copy or move in progress (file, bytes, rate)
// with a Cancel button: a modeless dialog, laid out by its template
// (IDD_PROGRESS in brellow.rc) as the clash dialog is. It appears only when
// the paste lasts longer than a moment, or when a name clash has to be asked,
// which it does in its own dialog for the copying thread.
#pragma once

#include "ClashPolicy.h"
#include "CopyProgress.h"
#include "Owners.h"

#include <windows.h>

namespace brellow {

class ProgressWindow : public ClashAsker {
public:
    // moving: the clipboard's files are being moved, not copied.
    ProgressWindow(CopyProgress& progress, bool moving);
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Pumps messages until worker (a thread handle) has ended. The window is
    // created hidden and shown once the copy has taken about half a second.
    void RunUntilDone(HANDLE worker);

    HWND handle() const { return window_.get(); }

    // Called on the copying thread while RunUntilDone pumps: shows the
    // window and, owned by it, the clash dialog on the window's thread, and
    // waits for the answer.
    bool Ask(const ClashInfo& clash, Reply& reply) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Create();
    void Cancel();
    void Refresh();

    CopyProgress& progress_;
    bool moving_;
    brell::UniqueWindow window_;
    ULONGLONG started_ = 0;
};

}  // namespace brellow
