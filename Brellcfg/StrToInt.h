// The strict text-to-integer conversion of the entry fields: decimal or
// hexadecimal ("$", "x", "0x" prefixes), one optional sign, nothing else.
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

}  // namespace brell
