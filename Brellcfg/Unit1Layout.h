// The layout of TForm1: every control with its kind, caption and place in
// client pixels at 96 dpi, in creation order. Creation order is z-order,
// which is the Tab order, so the focusable controls come first, in the
// order the Tab key visits them. At other dpi every length grows with the
// window's font; a label's size is what its caption takes in that font (the
// sizes given here are those at 96 dpi).
#pragma once

#include <windows.h>

namespace brell {

class TForm1;

enum class ControlKind { Label, Edit, CheckBox, Button };

struct ControlLayout {
    HWND TForm1::*control;
    ControlKind kind;
    const wchar_t* caption;  // initial text: the defaults of the settings
    int left, top, width, height;
    bool checked;  // check boxes only
};

struct FormLayout {
    const wchar_t* caption;
    int clientWidth, clientHeight;
    const ControlLayout* controls;
    int controlCount;
};

extern const FormLayout kForm1Layout;

// The window's font: "Tahoma", 8 points, at this many dots per inch.
LOGFONTW FormFont(int dpi);

// A length of the layout (given at 96 dpi) at this dpi, scaled by the same
// factor as the font.
int ScaleToDpi(int length, int dpi);

// Control ids are 100 + the control's place in the layout, clear of IDOK and
// IDCANCEL, which the dialog manager sends for Enter and Escape.
constexpr int kFirstControlId = 100;

}  // namespace brell
