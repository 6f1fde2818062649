#include "Application.h"

#include <new>
#include <vector>

#include "AppText.h"
#include "Exception.h"

namespace brell {

namespace {

const wchar_t kWindowClass[] = L"TApplication";

std::wstring ModulePath(HINSTANCE instance) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(instance, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM param) {
    if (IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

}  // namespace

TApplication::TApplication(HINSTANCE instance) : instance_(instance), title_(ApplicationTitle(ModulePath(instance))) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, L"MAINICON");
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    // Never shown: the owner of last resort for message boxes. The main
    // window carries the taskbar button itself.
    handle_ = CreateWindowExW(0, kWindowClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, instance, nullptr);
}

TApplication::~TApplication() {
    if (handle_) DestroyWindow(handle_);
}

void TApplication::ShowException(const std::wstring& message) noexcept {
    try {
        const std::wstring text = MessageWithPeriod(message);
        HWND owner = GetActiveWindow();
        if (!owner && handle_) owner = GetLastActivePopup(handle_);

        // Modal for the whole program, not just for the owner.
        HWND focus = GetFocus();
        std::vector<HWND> disabled;
        EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
        for (HWND window : disabled)
            if (window != owner) EnableWindow(window, FALSE);

        MessageBoxW(owner, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);

        for (HWND window : disabled)
            if (window != owner && IsWindow(window)) EnableWindow(window, TRUE);
        if (focus && IsWindow(focus)) SetFocus(focus);
    } catch (...) {
        // Out of memory while composing the text: nothing better to show.
        MessageBoxW(nullptr, L"Out of memory", nullptr, MB_OK | MB_ICONERROR);
    }
}

void TApplication::HandleException() noexcept {
    try {
        throw;
    } catch (const Exception& e) {
        ShowException(e.Message());
    } catch (const std::bad_alloc&) {
        ShowException(L"Out of memory");
    } catch (...) {
        ShowException(L"Unexpected error");
    }
}

void TApplication::Run(HWND dialogWindow) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (dialogWindow && IsWindow(dialogWindow) && IsDialogMessageW(dialogWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace brell
