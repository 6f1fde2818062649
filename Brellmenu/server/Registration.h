// Self-registration: the registry scripts of the resources run through the
// registrar, the object map's classes and the type library, in register and
// unregister order, machine-wide or per user.
#pragma once

#include <windows.h>

inline constexpr UINT kAppIdScriptId = 101;
inline constexpr UINT kClassScriptId = 102;
// The class script's CLSID block alone: what unregistering removes while the
// other bitness's build still uses the keys both views share.
inline constexpr UINT kClassKeyScriptId = 103;

// One extra replacement variable; a null name ends a list.
struct RegistryVariable {
    const wchar_t* name;
    const wchar_t* value;
};

// Runs one REGISTRY resource of this module with the common replacements,
// the module path and the extra variables.
HRESULT UpdateRegistryFromScript(UINT resourceId, BOOL doRegister,
                                 const RegistryVariable* extra) noexcept;

// Copies source into destination (capacity in characters, terminator
// included), doubling every single quote while room is left. Always
// terminates when capacity is non-zero.
void DoubleSingleQuotes(wchar_t* destination, size_t capacity, const wchar_t* source) noexcept;

HRESULT RegisterObjectMap(bool withTypeLibrary) noexcept;
HRESULT UnregisterObjectMap(bool withTypeLibrary) noexcept;
HRESULT PerformRegistration(bool withTypeLibrary) noexcept;
HRESULT PerformUnregistration(bool withTypeLibrary) noexcept;
