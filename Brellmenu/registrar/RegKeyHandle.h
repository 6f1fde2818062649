// One registry key handle of the script walker, with the extra access flags
// that DeleteKeyTree adds when it opens a key through it.
#pragma once

#include <windows.h>

class CRegKeyHandle {
public:
    CRegKeyHandle() noexcept = default;
    ~CRegKeyHandle() { Close(); }
    CRegKeyHandle(const CRegKeyHandle&) = delete;
    CRegKeyHandle& operator=(const CRegKeyHandle&) = delete;

    // Replaces the held handle only when the open succeeds; returns the open's
    // status, or after success the status of closing the old handle.
    LONG Open(HKEY parent, LPCWSTR subKey, REGSAM access) noexcept;
    // Takes ownership of a handle, closing the one held before.
    LONG Attach(HKEY key) noexcept;
    LONG Close() noexcept;

    // Points at a handle owned elsewhere (a parent or predefined key);
    // Unborrow clears it without closing.
    void Borrow(HKEY key, REGSAM extraAccess) noexcept;
    void Unborrow() noexcept;

    HKEY Get() const noexcept { return m_key; }
    REGSAM ExtraAccess() const noexcept { return m_extraAccess; }

private:
    HKEY m_key = nullptr;
    REGSAM m_extraAccess = 0;
    bool m_borrowed = false;
};
