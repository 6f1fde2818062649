// One character step through script text, as CharNextW takes it.
#pragma once

#include <windows.h>

// CharNextW, without the call when the next unit cannot extend the current
// character (no combining mark lies below U+0300). Never stays put before
// the terminator is reached; at the terminator it returns text + 1.
inline LPCWSTR NextCharStep(LPCWSTR text) noexcept {
    if (text[0] != L'\0' && text[1] < 0x0300 && (text[0] < 0xD800 || text[0] > 0xDBFF)) return text + 1;
    LPCWSTR next = CharNextW(text);
    return next == text ? text + 1 : next;
}
