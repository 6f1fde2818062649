// Brelldrop.dll's module: its object map with the one drop menu class, the
// module-level objects, the entry point and the five exports. It registers
// itself from its one registry script (resource 101), machine-wide or, with
// DllInstall("user"), for the current user; no AppID, no type library.
#include <windows.h>
#include <objbase.h>

#include <iterator>

#include "drop/DropMenu.h"
#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"
#include "server/ClassFactory.h"
#include "server/Module.h"
#include "server/ObjectMap.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr UINT kDropScriptId = 101;

class CBrelldropModule final : public CAtlDllModuleT<CBrelldropModule> {
public:
    static void InitLibId() noexcept {}
    HRESULT AddCommonReplacements(IRegistrarBase*) noexcept override { return S_OK; }
};

// The script quotes the module's path in single quotes: each one in the
// path is doubled, and a path that does not fit is refused, never cut.
HRESULT RunDropScript(BOOL doRegister) noexcept {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    if (length == 0) return E_FAIL;
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    wchar_t quoted[2 * MAX_PATH];
    size_t written = 0;
    for (DWORD i = 0; i < length; ++i) {
        quoted[written++] = path[i];
        if (path[i] == L'\'') quoted[written++] = L'\'';
    }
    quoted[written] = L'\0';

    CRegObject registrar;
    const HRESULT hr = registrar.AddVariable(L"MODULE", quoted);
    if (FAILED(hr)) return hr;
    return registrar.RunResourceScript(path, kDropScriptId, doRegister);
}

HRESULT WINAPI UpdateDropClassRegistry(BOOL doRegister) { return RunDropScript(doRegister); }

ObjectMapEntry g_dropEntry =
    MakeObjectMapEntry(&CLSID_BrellowDropMenu, UpdateDropClassRegistry, CreateClassObject, CreateDropMenuObject);

ObjectMapEntry* const g_objectMap[] = {&g_dropEntry};

}  // namespace

// Map first, module last, and down in the reverse order.
__attribute__((init_priority(1001))) CClassObjectMap g_classObjectMap(std::begin(g_objectMap),
                                                                      std::end(g_objectMap));
__attribute__((init_priority(1003))) CBrelldropModule g_brelldropModule;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && g_initFailed) return FALSE;
    return TRUE;
}

STDAPI DllCanUnloadNow() { return g_pModule->LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    return g_classObjectMap.GetClassObject(clsid, iid, ppv);
}

STDAPI DllRegisterServer() { return g_dropEntry.pfnUpdateRegistry(TRUE); }

STDAPI DllUnregisterServer() { return g_dropEntry.pfnUpdateRegistry(FALSE); }

STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    // Five characters with the terminator: only the exact word, in any case.
    if (commandLine && _wcsnicmp(commandLine, L"user", 5) == 0) g_perUserRegistration = true;
    if (!install) return DllUnregisterServer();
    const HRESULT hr = DllRegisterServer();
    // Leave nothing half-written behind; the registration's failure is what
    // the caller learns.
    if (FAILED(hr)) DllUnregisterServer();
    return hr;
}

}  // extern "C"
