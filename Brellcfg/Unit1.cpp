#include "Unit1.h"

#include <commctrl.h>

#include <vector>

#include "SettingsStore.h"
#include "Unit1Layout.h"

namespace brell {

namespace {

const wchar_t kWindowClass[] = L"TForm1";
const DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
const DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

// A window's device context (the screen's for no window), with the font
// selected when one is given; both are given back on destruction.
class WindowDC {
public:
    explicit WindowDC(HWND window, HFONT font = nullptr) : window_(window), dc_(GetDC(window)) {
        if (dc_ && font) old_ = SelectObject(dc_, font);
    }
    ~WindowDC() {
        if (!dc_) return;
        if (old_) SelectObject(dc_, old_);
        ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    int Dpi() const { return dc_ ? GetDeviceCaps(dc_, LOGPIXELSY) : 0; }

    // The box that the text takes on one line, as a label draws it.
    SIZE TextSize(const wchar_t* text) const {
        RECT box = {};
        if (dc_) DrawTextW(dc_, text, -1, &box, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        return {box.right - box.left, box.bottom - box.top};
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

// The dots per inch that the program's window is drawn at. A program that
// does not declare itself dpi-aware is told 96 wherever Windows stretches
// its window instead; at any other value it scales the window itself.
int ScreenDpi() {
    const int dpi = WindowDC(nullptr).Dpi();
    return dpi > 0 ? dpi : 96;
}

}  // namespace

TForm1::TForm1(TApplication& application) : application_(application) {}

TForm1::~TForm1() {
    if (handle_) DestroyWindow(handle_);
    if (font_) DeleteObject(font_);
}

bool TForm1::Create() {
    HINSTANCE instance = application_.Instance();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    dpi_ = ScreenDpi();
    const LOGFONTW font = FormFont(dpi_);
    font_ = CreateFontIndirectW(&font);
    RECT frame = {0, 0, ScaleToDpi(kForm1Layout.clientWidth, dpi_), ScaleToDpi(kForm1Layout.clientHeight, dpi_)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (!CreateWindowExW(kExStyle, kWindowClass, kForm1Layout.caption, kStyle, left, top, width, height, nullptr,
                         nullptr, instance, this))
        return false;
    // Before the first show: an error of the first load is shown over no
    // window, then the window opens with what the load got that far.
    application_.Guard([this] { FormCreate(); });
    return true;
}

void TForm1::Show(int showCommand) {
    int command = SW_SHOWNORMAL;
    if (showCommand == SW_SHOWMAXIMIZED || showCommand == SW_SHOWMINNOACTIVE) command = showCommand;
    ShowWindow(handle_, command);
    UpdateWindow(handle_);
}

void TForm1::CreateControls() {
    HINSTANCE instance = application_.Instance();
    const WindowDC measure(handle_, font_);
    for (int i = 0; i < kForm1Layout.controlCount; ++i) {
        const ControlLayout& c = kForm1Layout.controls[i];
        const wchar_t* cls = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        int width = ScaleToDpi(c.width, dpi_);
        int height = ScaleToDpi(c.height, dpi_);
        switch (c.kind) {
        case ControlKind::Label: {
            // Sized to the caption on one line: a label never wraps.
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
            const SIZE size = measure.TextSize(c.caption);
            width = size.cx;
            height = size.cy;
            break;
        }
        case ControlKind::Edit:
            cls = L"EDIT";
            style |= WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::CheckBox:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_AUTOCHECKBOX;
            break;
        case ControlKind::Button:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        }
        HWND control = CreateWindowExW(exStyle, cls, c.caption, style, ScaleToDpi(c.left, dpi_),
                                       ScaleToDpi(c.top, dpi_), width, height, handle_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)),
                                       instance, nullptr);
        this->*(c.control) = control;
        if (!control) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (c.kind == ControlKind::CheckBox)
            SendMessageW(control, BM_SETCHECK, c.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        if (c.kind == ControlKind::Edit) {
            SendMessageW(control, EM_LIMITTEXT, 0, 0);  // no limit on what may be typed
            SetWindowSubclass(control, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
        }
    }
}

void TForm1::FormCreate() {
    bresetClick();
    LoadSettings(*this, reg, MachineSettings());
}

void TForm1::bresetClick() { ResetSettings(*this); }

void TForm1::breloadClick() { LoadSettings(*this, reg, MachineSettings()); }

void TForm1::bapplyClick() { SaveSettings(*this, reg, MachineSettings()); }

HWND TForm1::FieldWindow(NumberField field) const {
    switch (field) {
    case NumberField::BufferUp:
        return ebufferup;
    case NumberField::BufferRatio:
        return ebufferratio;
    case NumberField::BufferDown:
        return ebufferdown;
    }
    return nullptr;
}

HWND TForm1::SwitchWindow(SwitchField field) const {
    return field == SwitchField::WriteCache ? cbwritecache : cbexpand;
}

std::wstring TForm1::FieldText(NumberField field) const {
    HWND edit = FieldWindow(field);
    const int length = GetWindowTextLengthW(edit);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextW(edit, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void TForm1::SetFieldText(NumberField field, const std::wstring& text) {
    SetWindowTextW(FieldWindow(field), text.c_str());
}

bool TForm1::Checked(SwitchField field) const {
    return SendMessageW(SwitchWindow(field), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::SetChecked(SwitchField field, bool checked) {
    SendMessageW(SwitchWindow(field), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TForm1::OnCommand(HWND control, WORD code) {
    if (code != BN_CLICKED || !control) return;
    if (control == breset) {
        application_.Guard([this] { bresetClick(); });
    } else if (control == breload) {
        application_.Guard([this] { breloadClick(); });
    } else if (control == bapply) {
        application_.Guard([this] { bapplyClick(); });
    }
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateControls();
        return 0;
    case WM_COMMAND:
        // Enter and Escape arrive as IDOK and IDCANCEL without a control:
        // the window has no default or cancel button, so they do nothing.
        OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        // Like a dialog: the focus leaves with the window and comes back to
        // the same control, the first one in Tab order at the start.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus)) lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            HWND target = lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : GetNextDlgTabItem(handle_, nullptr, FALSE);
            if (target) SetFocus(target);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TForm1* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    if (!form) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->handle_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK TForm1::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    TForm1* form = reinterpret_cast<TForm1*>(data);
    switch (message) {
    case WM_LBUTTONDOWN: {
        // A click places the caret where it lands; only focus that comes
        // some other way (Tab, activation) selects the whole text.
        form->mouseFocus_ = true;
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        form->mouseFocus_ = false;
        return result;
    }
    case WM_SETFOCUS: {
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (!form->mouseFocus_) SendMessageW(window, EM_SETSEL, 0, -1);
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, EditProc, 1);
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace brell
