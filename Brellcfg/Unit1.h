// TForm1: the settings window. Three entry fields and two check boxes hold
// the engine's settings between the user and the settings store.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "Application.h"
#include "Registry.h"
#include "SettingsFields.h"

namespace brell {

class TForm1 final : public SettingsFields {
public:
    explicit TForm1(TApplication& application);
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Creates the window and its controls, then runs FormCreate; an error
    // there is shown at once and creation goes on. False if the window
    // itself could not be made.
    bool Create();
    // First show, centred; honours SW_SHOWMAXIMIZED and SW_SHOWMINNOACTIVE.
    void Show(int showCommand);
    HWND Handle() const noexcept { return handle_; }
    // The dots per inch the window was laid out for (96: the sizes of the
    // layout table as they stand).
    int Dpi() const noexcept { return dpi_; }

    void FormCreate();
    void bresetClick();
    void breloadClick();
    void bapplyClick();

    std::wstring FieldText(NumberField field) const override;
    void SetFieldText(NumberField field, const std::wstring& text) override;
    bool Checked(SwitchField field) const override;
    void SetChecked(SwitchField field, bool checked) override;

    // The controls, named as in the layout (Unit1Layout.cpp).
    HWND ebufferup = nullptr;
    HWND ebufferratio = nullptr;
    HWND cbwritecache = nullptr;
    HWND ebufferdown = nullptr;
    HWND breset = nullptr;
    HWND bapply = nullptr;
    HWND lmax = nullptr;
    HWND lratio = nullptr;
    HWND lmin = nullptr;
    HWND lmaxmb = nullptr;
    HWND lminmb = nullptr;
    HWND lratiopercent = nullptr;
    HWND cbexpand = nullptr;
    HWND breload = nullptr;
    HWND labout = nullptr;
    // The registry accessor of the load or save in progress; empty otherwise.
    std::unique_ptr<TRegistry> reg;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void OnCommand(HWND control, WORD code);
    HWND FieldWindow(NumberField field) const;
    HWND SwitchWindow(SwitchField field) const;

    TApplication& application_;
    HWND handle_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HWND lastFocus_ = nullptr;
    bool mouseFocus_ = false;
};

}  // namespace brell
