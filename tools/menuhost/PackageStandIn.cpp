#include "PackageStandIn.h"

#include <cstring>
#include <cwchar>

namespace brell {
namespace {

std::wstring g_family;
std::wstring g_asked;
FARPROC(WINAPI* g_realGetProcAddress)(HMODULE, LPCSTR) = nullptr;

// As documented: the count and the characters needed when the buffers are
// missing or too small, else the full names, each terminated, in buffer.
LONG WINAPI StandInGetPackages(PCWSTR family, UINT32* count, PWSTR* names, UINT32* length, WCHAR* buffer) {
    if (!family || !count || !length) return ERROR_INVALID_PARAMETER;
    g_asked += std::wstring(g_asked.empty() ? L"" : L" ") + family;
    if (_wcsicmp(family, g_family.c_str()) != 0) {
        *count = 0;
        *length = 0;
        return ERROR_SUCCESS;
    }
    // <Name>_<Version>_<Architecture>__<PublisherId> of the family.
    const size_t split = g_family.rfind(L'_');
    const std::wstring full = g_family.substr(0, split) + L"_1.0.0.0_x64__" + g_family.substr(split + 1);
    const UINT32 needed = static_cast<UINT32>(full.size() + 1);
    const bool fits = names && buffer && *count >= 1 && *length >= needed;
    *count = 1;
    *length = needed;
    if (!fits) return ERROR_INSUFFICIENT_BUFFER;
    std::wmemcpy(buffer, full.c_str(), needed);
    names[0] = buffer;
    return ERROR_SUCCESS;
}

FARPROC WINAPI StandInGetProcAddress(HMODULE module, LPCSTR name) {
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::strcmp(name, "GetPackagesByPackageFamily") == 0 &&
        module == GetModuleHandleW(L"kernel32.dll"))
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&StandInGetPackages));
    return g_realGetProcAddress(module, name);
}

// The import address slot of kernel32's GetProcAddress in module, or null.
FARPROC* GetProcAddressSlot(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), "kernel32.dll") != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "GetProcAddress") == 0)
                return reinterpret_cast<FARPROC*>(&slots->u1.Function);
        }
    }
    return nullptr;
}

}  // namespace

bool RegisterPackageForHandler(const CLSID& clsid, const std::wstring& family) {
    wchar_t id[40] = {};
    StringFromGUID2(clsid, id, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + id + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return false;
    // Kept loaded: COM's own load of the server then finds this module.
    const HMODULE module = LoadLibraryW(path);
    FARPROC* slot = module ? GetProcAddressSlot(module) : nullptr;
    if (!slot) return false;
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old)) return false;
    g_family = family;
    g_realGetProcAddress = reinterpret_cast<FARPROC(WINAPI*)(HMODULE, LPCSTR)>(reinterpret_cast<void (*)()>(*slot));
    *slot = reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&StandInGetProcAddress));
    VirtualProtect(slot, sizeof(*slot), old, &old);
    return true;
}

const std::wstring& AskedFamilies() { return g_asked; }

}  // namespace brell
