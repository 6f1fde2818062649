#include "server/Registration.h"

#include "registrar/RegObject.h"
#include "server/Errors.h"
#include "server/Identifiers.h"
#include "server/Module.h"
#include "server/ObjectMap.h"
#include "server/OtherBuild.h"
#include "server/TypeLibrary.h"

namespace {

constexpr DWORD kPathCapacity = MAX_PATH;
constexpr size_t kDoubledPathCapacity = size_t{2} * MAX_PATH;

// Decodes the scripts in the system's code page, whatever the caller's
// thread locale, and puts the caller's locale back afterwards.
class SystemThreadLocale {
public:
    SystemThreadLocale() noexcept : saved_(GetThreadLocale()) {
        SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
    }
    ~SystemThreadLocale() { SetThreadLocale(saved_); }
    SystemThreadLocale(const SystemThreadLocale&) = delete;
    SystemThreadLocale& operator=(const SystemThreadLocale&) = delete;

private:
    LCID saved_;
};

const RegistryVariable kAppIdVariables[] = {
    {L"APPID", kAppIdString},
    {nullptr, nullptr},
};

}  // namespace

void DoubleSingleQuotes(wchar_t* destination, size_t capacity, const wchar_t* source) noexcept {
    if (!destination || capacity == 0) return;
    size_t written = 0;
    const size_t limit = capacity - 1;
    for (const wchar_t* p = source; p && *p && written < limit; ++p) {
        destination[written++] = *p;
        if (*p == L'\'' && written < limit) destination[written++] = L'\'';
    }
    destination[written] = L'\0';
}

HRESULT UpdateRegistryFromScript(UINT resourceId, BOOL doRegister,
                                 const RegistryVariable* extra) noexcept {
    CRegObject registrar;
    for (const RegistryVariable* v = extra; v && v->name; ++v) {
        registrar.AddVariable(v->name, v->value);
    }
    HRESULT hr = g_pModule->AddCommonReplacements(&registrar);
    if (FAILED(hr)) return hr;

    wchar_t modulePath[kPathCapacity];
    const DWORD length =
        GetModuleFileNameW(g_moduleInstance.ModuleInstance(), modulePath, kPathCapacity);
    if (length == 0) {
        // Never a success code, even if the call left no error behind.
        hr = HResultFromLastError();
        return FAILED(hr) ? hr : E_FAIL;
    }
    // A path that fills the buffer may have been cut: never register a wrong one.
    if (length >= kPathCapacity) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    wchar_t doubled[kDoubledPathCapacity];
    DoubleSingleQuotes(doubled, kDoubledPathCapacity, modulePath);
    hr = registrar.AddVariable(L"Module", doubled);
    if (FAILED(hr)) return hr;
    hr = registrar.AddVariable(L"Module_Raw", doubled);
    if (FAILED(hr)) return hr;

    return registrar.RunResourceScript(modulePath, resourceId, doRegister);
}

HRESULT RegisterObjectMap(bool withTypeLibrary) noexcept {
    for (ObjectMapEntry* entry : g_classObjectMap) {
        if (!entry) continue;
        const HRESULT hr = entry->pfnUpdateRegistry(TRUE);
        if (FAILED(hr)) return hr;
        // The class names no component categories: nothing to register.
    }
    if (withTypeLibrary) return RegisterServerTypeLibrary();
    return S_OK;
}

HRESULT UnregisterObjectMap(bool withTypeLibrary) noexcept {
    for (ObjectMapEntry* entry : g_classObjectMap) {
        if (!entry) continue;
        const HRESULT hr = entry->pfnUpdateRegistry(FALSE);
        if (FAILED(hr)) return hr;
    }
    if (withTypeLibrary) return UnregisterServerTypeLibrary();
    return S_OK;
}

HRESULT PerformRegistration(bool withTypeLibrary) noexcept {
    SystemThreadLocale locale;
    const HRESULT hr = UpdateRegistryFromScript(kAppIdScriptId, TRUE, kAppIdVariables);
    if (FAILED(hr)) return hr;
    return RegisterObjectMap(withTypeLibrary);
}

HRESULT PerformUnregistration(bool withTypeLibrary) noexcept {
    SystemThreadLocale locale;
    const HRESULT hr = UnregisterObjectMap(withTypeLibrary);
    if (FAILED(hr)) return hr;
    // The AppID keys are shared by both registry views: the other build
    // still registered keeps them.
    if (OtherBuildRegistered()) return S_OK;
    return UpdateRegistryFromScript(kAppIdScriptId, FALSE, kAppIdVariables);
}
