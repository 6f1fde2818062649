#include "DropList.h"
#include "DropListWalk.h"

#include <windows.h>

#include <cstring>

namespace brellow {

bool ParseDropList(const void* block, size_t size, std::vector<std::wstring>& paths) {
    paths.clear();
    const bool ok = WalkDropList(block, size, [&](const unsigned char* first, size_t count, bool wide) {
        std::wstring name(count, L'\0');
        if (wide) {
            // The offset need not be even: the characters are copied out.
            std::memcpy(&name[0], first, count * sizeof(wchar_t));
        } else {
            const char* text = reinterpret_cast<const char*>(first);
            const int converted = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(count), nullptr, 0);
            if (converted <= 0) return false;
            name.assign(static_cast<size_t>(converted), L'\0');
            MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(count), &name[0], converted);
        }
        paths.push_back(std::move(name));
        return true;
    });
    if (!ok) paths.clear();
    return ok;
}

}  // namespace brellow
