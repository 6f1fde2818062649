#include "registrar/Tables.h"

namespace {

struct RootKeyRow {
    LPCWSTR name;
    HKEY key;
};

// Short names first: the lookup compares in this order.
const RootKeyRow kRootKeys[] = {
    {L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKCU", HKEY_CURRENT_USER},
    {L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKU", HKEY_USERS},
    {L"HKPD", HKEY_PERFORMANCE_DATA},
    {L"HKDD", HKEY_DYN_DATA},
    {L"HKCC", HKEY_CURRENT_CONFIG},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {L"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

struct ValueTypeRow {
    LPCWSTR letter;
    DWORD type;
};

const ValueTypeRow kValueTypes[] = {
    {L"S", REG_SZ},
    {L"M", REG_MULTI_SZ},
    {L"D", REG_DWORD},
    {L"B", REG_BINARY},
};

const LPCWSTR kProtectedNames[] = {
    L"AppID", L"CLSID", L"Component Categories", L"FileType",
    L"Interface", L"Hardware", L"Mime", L"SAM",
    L"SECURITY", L"SYSTEM", L"Software", L"TypeLib",
};

bool Equal(LPCWSTR a, LPCWSTR b) noexcept {
    return lstrcmpiW(a, b) == 0;
}

}  // namespace

HKEY LookupRootKey(LPCWSTR name) noexcept {
    for (const RootKeyRow& row : kRootKeys) {
        if (Equal(name, row.name)) return row.key;
    }
    return nullptr;
}

bool LookupValueType(LPCWSTR token, DWORD* type) noexcept {
    for (const ValueTypeRow& row : kValueTypes) {
        if (Equal(token, row.letter)) {
            *type = row.type;
            return true;
        }
    }
    return false;
}

bool IsProtectedKeyName(LPCWSTR name) noexcept {
    for (LPCWSTR protectedName : kProtectedNames) {
        if (Equal(name, protectedName)) return true;
    }
    return false;
}

bool IsForceRemoveKeyword(LPCWSTR token) noexcept { return Equal(token, L"ForceRemove"); }
bool IsDeleteKeyword(LPCWSTR token) noexcept { return Equal(token, L"Delete"); }
bool IsNoRemoveKeyword(LPCWSTR token) noexcept { return Equal(token, L"NoRemove"); }
bool IsValKeyword(LPCWSTR token) noexcept { return Equal(token, L"Val"); }
