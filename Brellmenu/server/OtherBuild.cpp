#include "server/OtherBuild.h"

#include "registrar/PerUserMode.h"
#include "server/ObjectMap.h"
#include "Owners.h"

namespace {

constexpr wchar_t kClassServerKey[] =
    L"Software\\Classes\\CLSID\\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}\\InprocServer32";

// The registry view of the other bitness, or 0 when this Windows has one view.
REGSAM OtherView() noexcept {
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return 0;
    return KEY_WOW64_64KEY;
#endif
}

}  // namespace

bool OtherBuildRegistered() noexcept {
    const REGSAM view = OtherView();
    if (!view) return false;

    const HKEY root = g_perUserRegistration ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    brell::UniqueHKey key;
    if (RegOpenKeyExW(root, kClassServerKey, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
        return false;

    wchar_t other[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(other) - sizeof(wchar_t);  // room for a terminator of our own
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(other), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes < sizeof(wchar_t)) {
        return false;
    }
    other[bytes / sizeof(wchar_t)] = L'\0';
    if (other[0] == L'\0') return false;

    // Where a view is not split (the user's classes under Wine, for one), the
    // "other" entry is this module's own: that is no other build.
    wchar_t self[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameW(g_moduleInstance.ModuleInstance(), self, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return false;
    return lstrcmpiW(self, other) != 0;
}
