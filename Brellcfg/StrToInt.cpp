#include "StrToInt.h"

#include "Exception.h"

namespace brell {

namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

std::optional<int32_t> TryStrToInt(const std::wstring& text) {
    size_t i = 0;
    const size_t n = text.size();
    // Only the plain blank counts as leading space; a tab is an error.
    while (i < n && text[i] == L' ') ++i;

    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text[i] == L'$' || text[i] == L'x' || text[i] == L'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < n && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        hex = true;
        i += 2;
    }

    if (i == n) return std::nullopt;  // empty, sign alone, prefix alone

    uint64_t magnitude = 0;
    // Beyond these the number cannot fit whatever digits follow; leading
    // zeros never raise the value, so they stay allowed.
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    for (; i < n; ++i) {
        const int digit = hex ? HexDigit(text[i]) : (text[i] >= L'0' && text[i] <= L'9' ? text[i] - L'0' : -1);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }

    // A hexadecimal number is a 32-bit pattern read as signed, then negated;
    // unsigned arithmetic keeps -$80000000 well defined.
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

int32_t StrToInt(const std::wstring& text) {
    const std::optional<int32_t> value = TryStrToInt(text);
    if (!value) throw Exception(L"''" + text + L"'' is not a valid integer value");
    return *value;
}

std::wstring IntToStr(int64_t value) {
    // Digits from the right; the magnitude as unsigned keeps INT64_MIN whole.
    uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    wchar_t digits[24];
    wchar_t* first = digits + 24;
    do {
        *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--first = L'-';
    return std::wstring(first, digits + 24);
}

}  // namespace brell
