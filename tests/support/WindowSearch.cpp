#include "support/WindowSearch.h"

namespace brelltest {

namespace {

struct Search {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || (search->visibleOnly && !IsWindowVisible(window))) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    if (lstrcmpW(cls, search->className) != 0) return TRUE;
    if (search->caption && WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool WaitFor(const std::function<bool()>& cond) {
    for (int i = 0; i < 1000; ++i) {
        if (cond()) return true;
        Sleep(10);
    }
    return cond();
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000,
                        nullptr);
    return text;
}

HWND FindTopLevelWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, bool visibleOnly) {
    Search search = {processId, className, caption, visibleOnly, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const PROCESS_INFORMATION& process, const wchar_t* className, const wchar_t* caption,
                   DWORD timeoutMs) {
    const ULONGLONG end = timeoutMs == INFINITE ? ~0ull : GetTickCount64() + timeoutMs;
    do {
        if (HWND found = FindTopLevelWindow(process.dwProcessId, className, caption, true)) return found;
    } while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT && GetTickCount64() < end);
    return nullptr;
}

std::vector<std::wstring> ChildTexts(HWND window, const wchar_t* className) {
    std::vector<std::wstring> texts;
    for (HWND child = FindWindowExW(window, nullptr, className, nullptr); child;
         child = FindWindowExW(window, child, className, nullptr))
        texts.push_back(WindowText(child));
    return texts;
}

bool ClickButton(HWND window, const wchar_t* text) {
    HWND button = FindWindowExW(window, nullptr, L"Button", text);
    if (!button) return false;
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}

}  // namespace brelltest
