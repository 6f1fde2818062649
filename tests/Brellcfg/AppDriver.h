// Drives a running Brellcfg.exe from outside, as a user would: finds its
// window and message boxes, reads and types into its controls, clicks its
// buttons and presses keys with real input. Every wait is bounded.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "support/Process.h"

namespace brell::test {

class AppDriver {
public:
    AppDriver() = default;
    ~AppDriver();
    AppDriver(const AppDriver&) = delete;
    AppDriver& operator=(const AppDriver&) = delete;

    // Starts the program; showCommand < 0 passes no show command.
    bool Start(const std::wstring& exe, int showCommand = -1);
    bool Start();

    // Waits for the settings window to become visible or for a message box
    // (whichever comes first); true if either appeared.
    bool WaitReady(const std::wstring& caption = L"Brellcfg");
    HWND Main() const noexcept { return main_; }
    HWND MainWindow();  // the settings window, visible or not
    // The program's visible message box with this caption, or null.
    HWND FindMessageBox(const std::wstring& caption = L"Brellcfg") const;
    HWND WaitMessageBox(const std::wstring& caption = L"Brellcfg");
    static std::wstring MessageBoxText(HWND box);
    // Presses OK and waits until the box is gone and a click that raised it
    // has returned.
    bool DismissMessageBox(HWND box);

    // The child whose top-left corner lies at this client position.
    HWND ControlAt(int left, int top) const;
    bool Checked(HWND checkBox) const;

    // Clicks the button; returns once the click was handled or a message
    // box appeared (then DismissMessageBox finishes the click).
    void Click(HWND button);

    // Real keyboard input to the program's focused control.
    void Focus(HWND control);
    HWND FocusedControl() const;
    void PressKey(WORD virtualKey);
    void TypeText(const std::wstring& text);
    // Focuses the entry field (which selects its text) and types over it.
    bool TypeInto(HWND edit, const std::wstring& text);
    // A real left click at the centre of the control.
    void MouseClick(HWND control);

    // Closes the window; returns the exit code, or -1 if it did not end.
    long Close();
    HANDLE Process() const noexcept { return process_.handle(); }

private:
    void JoinClick();
    static DWORD WINAPI ClickThread(void* self);

    brelltest::ChildProcess process_;
    HWND main_ = nullptr;
    HANDLE click_ = nullptr;  // the thread that sends the pending click
    HWND clickButton_ = nullptr;
    std::atomic<bool> clickDone_{false};
    bool attached_ = false;
};

}  // namespace brell::test
