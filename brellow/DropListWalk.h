// The rules of a CF_HDROP block (a DROPFILES header followed by
// NUL-terminated names and one more NUL), in one place for both readers:
// the engine's ParseDropList and the right-drag menu, which must show its
// entries only for a list the engine takes. Nothing is allocated and
// nothing of the block is trusted: it comes from another program.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>

namespace brellow {

// The longest name the file functions take ("\\?\" form included).
inline constexpr size_t kLongestPath = 32767;

// Calls onName(const unsigned char* first, size_t count, bool wide) for each
// name of the size bytes at block, in order: count is in characters (wide)
// or bytes (ANSI); a wide name's characters may lie at odd addresses. True
// once the list's own terminator is reached, when the header fits, its
// offset of the names lies inside the block past the header, no name is
// longer than kLongestPath, every ANSI name converts in the ANSI code page,
// and every onName returned true; false otherwise (names already handed on
// stay handed on).
template <class OnName>
bool WalkDropList(const void* block, size_t size, OnName&& onName) {
    if (!block || size < sizeof(DROPFILES)) return false;
    DROPFILES header;
    std::memcpy(&header, block, sizeof(header));
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= size) return false;
    const auto* names = static_cast<const unsigned char*>(block) + header.pFiles;
    const size_t bytes = size - header.pFiles;

    if (header.fWide) {
        const size_t count = bytes / sizeof(wchar_t);
        size_t start = 0;
        for (size_t i = 0; i < count; ++i) {
            wchar_t c;
            std::memcpy(&c, names + i * sizeof(wchar_t), sizeof(c));
            if (c != L'\0') {
                if (i - start == kLongestPath) return false;
                continue;
            }
            if (i == start) return true;  // the empty name that ends the list
            if (!onName(names + start * sizeof(wchar_t), i - start, true)) return false;
            start = i + 1;
        }
        return false;  // the block ended inside a name or before the list's end
    }
    size_t start = 0;
    for (size_t i = 0; i < bytes; ++i) {
        if (names[i] != '\0') continue;
        const size_t length = i - start;
        if (length == 0) return true;
        if (length > kLongestPath) return false;
        const char* text = reinterpret_cast<const char*>(names + start);
        if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0) <= 0) return false;
        if (!onName(names + start, length, false)) return false;
        start = i + 1;
    }
    return false;
}

}  // namespace brellow
