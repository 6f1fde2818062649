// The application object: its title, its hidden top-level window, the
// message loop and the one display for every error a handler raises.
#pragma once

#include <windows.h>

#include <string>

namespace brell {

class TApplication {
public:
    explicit TApplication(HINSTANCE instance);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    HINSTANCE Instance() const noexcept { return instance_; }
    HWND Handle() const noexcept { return handle_; }
    const std::wstring& Title() const noexcept { return title_; }

    // Shows the message in an error box owned by the active window; the
    // program's other windows are disabled meanwhile and the focus returns
    // where it was.
    void ShowException(const std::wstring& message) noexcept;

    // Runs fn; an error it raises goes to the display instead of further up.
    // Window procedures call handlers through this: no exception may unwind
    // through the system's frames.
    template <class Fn>
    void Guard(Fn&& fn) noexcept {
        try {
            fn();
        } catch (...) {
            HandleException();
        }
    }

    // Pumps messages until WM_QUIT, routing keyboard input for dialogWindow
    // through the dialog manager (Tab and arrow navigation).
    void Run(HWND dialogWindow);

private:
    void HandleException() noexcept;  // only inside a catch block

    HINSTANCE instance_;
    std::wstring title_;
    HWND handle_ = nullptr;
};

}  // namespace brell
