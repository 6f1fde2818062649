// The fixed tables of the script language: root keys, value types, keywords
// and the key names that forced removal never deletes.
#pragma once

#include <windows.h>

// The predefined key of a root name ("HKCR" or "HKEY_CLASSES_ROOT" and so on,
// any case), or null when the name is not a root key.
HKEY LookupRootKey(LPCWSTR name) noexcept;

// REG_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY for S, M, D or B (any case);
// false when the token is not a value type.
bool LookupValueType(LPCWSTR token, DWORD* type) noexcept;

bool IsProtectedKeyName(LPCWSTR name) noexcept;

// Keywords are whole tokens, matched without regard to case.
bool IsForceRemoveKeyword(LPCWSTR token) noexcept;
bool IsDeleteKeyword(LPCWSTR token) noexcept;
bool IsNoRemoveKeyword(LPCWSTR token) noexcept;
bool IsValKeyword(LPCWSTR token) noexcept;
