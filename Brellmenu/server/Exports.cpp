// The DLL's entry point and its five exports.
#include <windows.h>
#include <objbase.h>

#include "registrar/PerUserMode.h"
#include "server/Module.h"
#include "server/ObjectMap.h"
#include "server/Registration.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (g_initFailed) return FALSE;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return g_pModule->LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    return g_classObjectMap.GetClassObject(clsid, iid, ppv);
}

STDAPI DllRegisterServer() { return PerformRegistration(true); }

STDAPI DllUnregisterServer() { return PerformUnregistration(true); }

STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    // Five characters with the terminator: only the exact word, in any case.
    if (commandLine && _wcsnicmp(commandLine, L"user", 5) == 0) g_perUserRegistration = true;
    if (!install) return PerformUnregistration(true);
    const HRESULT hr = PerformRegistration(true);
    if (FAILED(hr)) {
        // Leave nothing half-written behind; the registration's failure is
        // what the caller learns.
        PerformUnregistration(true);
    }
    return hr;
}

}  // extern "C"
