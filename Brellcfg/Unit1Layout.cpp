#include "Unit1Layout.h"

#include "Unit1.h"

namespace brell {

namespace {

const ControlLayout kControls[] = {
    // Tab order.
    {&TForm1::ebufferup, ControlKind::Edit, L"1700", 32, 24, 57, 21, false},
    {&TForm1::ebufferratio, ControlKind::Edit, L"30", 120, 24, 57, 21, false},
    {&TForm1::cbwritecache, ControlKind::CheckBox, L"use write cache", 32, 64, 97, 17, true},
    {&TForm1::ebufferdown, ControlKind::Edit, L"30", 208, 24, 57, 21, false},
    {&TForm1::breset, ControlKind::Button, L"Reset", 8, 120, 75, 25, false},
    {&TForm1::bapply, ControlKind::Button, L"Apply", 215, 120, 75, 25, false},
    {&TForm1::cbexpand, ControlKind::CheckBox, L"expand buffer", 168, 64, 97, 17, true},
    {&TForm1::breload, ControlKind::Button, L"Reload", 113, 120, 75, 25, false},
    // Labels: never focused.
    {&TForm1::lmax, ControlKind::Label, L"max", 32, 5, 20, 13, false},
    {&TForm1::lratio, ControlKind::Label, L"ratio", 120, 5, 22, 13, false},
    {&TForm1::lmin, ControlKind::Label, L"min", 208, 5, 16, 13, false},
    {&TForm1::lmaxmb, ControlKind::Label, L"MB", 90, 27, 14, 13, false},
    {&TForm1::lratiopercent, ControlKind::Label, L"%", 178, 27, 11, 13, false},
    {&TForm1::lminmb, ControlKind::Label, L"MB", 266, 27, 14, 13, false},
    {&TForm1::labout, ControlKind::Label, L"Brellow Options by Halvorin - www.halvorin.example", 8, 151, 265, 13,
     false},
};

}  // namespace

const FormLayout kForm1Layout = {
    L"Brellow V Settings", 298, 168, kControls, static_cast<int>(sizeof kControls / sizeof kControls[0]),
};

LOGFONTW FormFont(int dpi) {
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(8, dpi, 72);  // 8 points: 11 pixels at 96 dpi
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    return font;
}

int ScaleToDpi(int length, int dpi) { return MulDiv(length, dpi, 96); }

}  // namespace brell
