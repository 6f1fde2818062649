// The strict text-to-integer conversion of the entry fields: decimal or
// hexadecimal ("$", "x", "0x" prefixes), one optional sign, nothing else;
// and the decimal text of a number, as the fields show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brell {

// The number the text stands for, or nothing when the text is not one.
std::optional<int32_t> TryStrToInt(const std::wstring& text);

// As TryStrToInt, but a text that is not a number raises brell::Exception
// with the message "''<text>'' is not a valid integer value".
int32_t StrToInt(const std::wstring& text);

// "-2147483648", "0", "4294967295": plain decimal, a minus sign only for
// negative numbers. (Written here rather than taken from the C library's
// formatted output, which would bring its floating-point printer along.)
std::wstring IntToStr(int64_t value);

}  // namespace brell
