// Windows of another process as a user finds them: top-level windows by
// class and caption, their texts and buttons. Every wait is bounded.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace brelltest {

// Polls cond every 10 ms for up to ten seconds; its last answer.
bool WaitFor(const std::function<bool()>& cond);

// A window's text, asked of its own thread (GetWindowTextW does not ask
// windows of another process).
std::wstring WindowText(HWND window);

// A top-level window of the process with this class and caption (null: any
// caption); null when there is none.
HWND FindTopLevelWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, bool visibleOnly);
// Waits for a visible one while the process runs, up to timeoutMs; null when
// none came.
HWND WaitForWindow(const PROCESS_INFORMATION& process, const wchar_t* className, const wchar_t* caption,
                   DWORD timeoutMs = 60000);

// The texts of a window's children of one class ("Static", "Button").
std::vector<std::wstring> ChildTexts(HWND window, const wchar_t* className);
// Clicks the child button with this exact text ("&Replace"); false if none.
bool ClickButton(HWND window, const wchar_t* text);

}  // namespace brelltest
