#include "registrar/KeyTree.h"

#include "registrar/RegKeyHandle.h"

LONG DeleteKeyTree(HKEY parent, REGSAM extraAccess, LPCWSTR subKey) noexcept {
    CRegKeyHandle key;
    LONG status = key.Open(parent, subKey, KEY_READ | KEY_WRITE | extraAccess);
    if (status != ERROR_SUCCESS) return status;

    // Always index 0: every deleted child moves the next one there. A child
    // whose name does not fit ends the loop and the final delete then fails.
    wchar_t child[256];
    for (;;) {
        DWORD size = 256;
        if (RegEnumKeyExW(key.Get(), 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        status = DeleteKeyTree(key.Get(), extraAccess, child);
        if (status != ERROR_SUCCESS) return status;
    }
    key.Close();
    return RegDeleteKeyW(parent, subKey);
}

bool KeyHasSubkeys(HKEY key) noexcept {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return subkeys > 0;
}
