#include "registrar/RegKeyHandle.h"

LONG CRegKeyHandle::Open(HKEY parent, LPCWSTR subKey, REGSAM access) noexcept {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExW(parent, subKey, 0, access, &key);
    if (status != ERROR_SUCCESS) return status;
    return Attach(key);
}

LONG CRegKeyHandle::Attach(HKEY key) noexcept {
    const LONG status = Close();
    m_key = key;
    m_extraAccess = 0;
    return status;
}

LONG CRegKeyHandle::Close() noexcept {
    LONG status = ERROR_SUCCESS;
    if (m_key && !m_borrowed) status = RegCloseKey(m_key);
    m_key = nullptr;
    m_extraAccess = 0;
    m_borrowed = false;
    return status;
}

void CRegKeyHandle::Borrow(HKEY key, REGSAM extraAccess) noexcept {
    Close();
    m_key = key;
    m_extraAccess = extraAccess;
    m_borrowed = true;
}

void CRegKeyHandle::Unborrow() noexcept {
    if (!m_borrowed) return;
    m_key = nullptr;
    m_extraAccess = 0;
    m_borrowed = false;
}
