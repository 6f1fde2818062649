#include "ClashDialog.h"

#include "Paths.h"
#include "resource.h"

#include <cstdio>
#include <string>

namespace brellow {
namespace {

struct DialogState {
    const ClashInfo* clash;
    ClashAsker::Reply* reply;
};

// "1,234,567 bytes" in the user's number format.
std::wstring ByteCount(std::uint64_t bytes) {
    const std::wstring digits = std::to_wstring(bytes);
    NUMBERFMTW format = {};
    wchar_t decimal[8] = L".";
    wchar_t thousand[8] = L",";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, ARRAYSIZE(decimal));
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, thousand, ARRAYSIZE(thousand));
    format.NumDigits = 0;
    format.Grouping = 3;
    format.lpDecimalSep = decimal;
    format.lpThousandSep = thousand;
    wchar_t text[64];
    if (!GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &format, text, ARRAYSIZE(text)))
        return digits + L" bytes";
    return std::wstring(text) + (bytes == 1 ? L" byte" : L" bytes");
}

// "1.2 MB (1,234,567 bytes)"; small files in bytes only.
std::wstring Size(std::uint64_t bytes) {
    if (bytes < 1024) return ByteCount(bytes);
    const wchar_t* units[] = {L"KB", L"MB", L"GB", L"TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < ARRAYSIZE(units)) {
        value /= 1024.0;
        ++unit;
    }
    wchar_t text[32];
    swprintf(text, ARRAYSIZE(text), value < 100.0 ? L"%.1f %ls" : L"%.0f %ls", value, units[unit]);
    return std::wstring(text) + L" (" + ByteCount(bytes) + L")";
}

// The date and time in the user's short formats, in local time.
std::wstring When(const FILETIME& time) {
    if (!time.dwLowDateTime && !time.dwHighDateTime) return L"unknown date";
    SYSTEMTIME universal, local;
    if (!FileTimeToSystemTime(&time, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return L"unknown date";
    wchar_t date[64] = L"";
    wchar_t clock[64] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, ARRAYSIZE(date), nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, clock, ARRAYSIZE(clock));
    return std::wstring(date) + L" " + clock;
}

std::wstring Describe(std::uint64_t size, const FILETIME& written) {
    return Size(size) + L", modified " + When(written);
}

void Fill(HWND dialog, const ClashInfo& clash) {
    std::wstring question;
    if (clash.placedFrom.empty()) {
        question = L"The folder \"" + ParentFolder(clash.existing) + L"\" already holds a file named \"" +
                   LastComponent(clash.existing) + L"\".";
    } else {
        // Both come from this paste: the first is never replaced by the second.
        question = L"This paste puts two files named \"" + LastComponent(clash.existing) + L"\" into \"" +
                   ParentFolder(clash.existing) + L"\": \"" + clash.placedFrom + L"\" and \"" + clash.source +
                   L"\". Keep both, or skip the second?";
        EnableWindow(GetDlgItem(dialog, IDC_CLASH_REPLACE), FALSE);
    }
    SetDlgItemTextW(dialog, IDC_CLASH_QUESTION, question.c_str());
    SetDlgItemTextW(dialog, IDC_CLASH_NEW, Describe(clash.sourceSize, clash.sourceWritten).c_str());
    SetDlgItemTextW(dialog, IDC_CLASH_OLD, Describe(clash.existingSize, clash.existingWritten).c_str());
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        Fill(dialog, *reinterpret_cast<DialogState*>(lParam)->clash);
        SetForegroundWindow(dialog);
        // The focus on Skip, the default: Enter never replaces by mistake.
        SetFocus(GetDlgItem(dialog, IDC_CLASH_SKIP));
        return FALSE;
    }
    case WM_COMMAND: {
        auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (!state) break;
        ClashAsker::Reply& reply = *state->reply;
        switch (LOWORD(wParam)) {
        case IDC_CLASH_REPLACE:
            reply.answer = ClashAnswer::Replace;
            break;
        case IDC_CLASH_SKIP:
            reply.answer = ClashAnswer::Skip;
            break;
        case IDC_CLASH_KEEPBOTH:
            reply.answer = ClashAnswer::KeepBoth;
            break;
        case IDCANCEL:  // the button, Escape and the close box
            reply.answer = ClashAnswer::Skip;
            reply.cancel = true;
            break;
        default:
            return FALSE;
        }
        reply.forAll = IsDlgButtonChecked(dialog, IDC_CLASH_ALL) == BST_CHECKED;
        EndDialog(dialog, 1);
        return TRUE;
    }
    default:
        break;
    }
    return FALSE;
}

}  // namespace

bool ShowClashDialog(HWND owner, const ClashInfo& clash, ClashAsker::Reply& reply) {
    reply = ClashAsker::Reply();
    DialogState state = {&clash, &reply};
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CLASH), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(&state));
    return result == 1;
}

}  // namespace brellow
