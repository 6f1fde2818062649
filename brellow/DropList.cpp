#include "DropList.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace brellow {
namespace {

// The longest name the file functions take ("\\?\" form included).
constexpr size_t kLongestPath = 32767;

bool ParseWide(const unsigned char* names, size_t bytes, std::vector<std::wstring>& paths) {
    // The offset need not be even, so characters are copied out one by one.
    const size_t count = bytes / sizeof(wchar_t);
    std::wstring name;
    for (size_t i = 0; i < count; ++i) {
        wchar_t c;
        std::memcpy(&c, names + i * sizeof(wchar_t), sizeof(c));
        if (c != L'\0') {
            if (name.size() == kLongestPath) return false;
            name += c;
            continue;
        }
        if (name.empty()) return true;  // the empty name that ends the list
        paths.push_back(std::move(name));
        name.clear();
    }
    return false;  // the block ended inside a name or before the list's end
}

bool ParseAnsi(const unsigned char* names, size_t bytes, std::vector<std::wstring>& paths) {
    size_t start = 0;
    for (size_t i = 0; i < bytes; ++i) {
        if (names[i] != '\0') continue;
        const size_t length = i - start;
        if (length == 0) return true;
        if (length > kLongestPath) return false;
        const char* text = reinterpret_cast<const char*>(names + start);
        const int wide = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
        if (wide <= 0) return false;
        std::wstring name(static_cast<size_t>(wide), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &name[0], wide);
        paths.push_back(std::move(name));
        start = i + 1;
    }
    return false;
}

}  // namespace

bool ParseDropList(const void* block, size_t size, std::vector<std::wstring>& paths) {
    paths.clear();
    if (!block || size < sizeof(DROPFILES)) return false;
    DROPFILES header;
    std::memcpy(&header, block, sizeof(header));
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= size) return false;

    const auto* names = static_cast<const unsigned char*>(block) + header.pFiles;
    const size_t bytes = size - header.pFiles;
    const bool ok = header.fWide ? ParseWide(names, bytes, paths) : ParseAnsi(names, bytes, paths);
    if (!ok) paths.clear();
    return ok;
}

}  // namespace brellow
