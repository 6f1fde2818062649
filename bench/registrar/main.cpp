// bench_registrar [N]: N register/unregister rounds of the AppID script and
// the class script, first through our engine, then through the system's
// registrar object; prints both times and their ratio. Exits non-zero only
// when a run fails or leaves the wrong registry contents, never on timing.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "registrar/RegObject.h"
#include "server/Errors.h"
#include "Owners.h"

// The system registrar's interface, as documented for its COM class. Kept out
// of the anonymous namespace: the compiler would otherwise see that nothing
// in this program implements it and drop the calls.
struct ISystemRegistrar : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
};

namespace {

const CLSID kClsidRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID kIidRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};


const wchar_t kAppIdScript[] =
    L"HKCR\r\n{\r\n\tNoRemove AppID\r\n\t{\r\n\t\t'%APPID%' = s 'Brellmenu'\r\n\t\t'Brellmenu.DLL'\r\n\t\t{\r\n"
    L"\t\t\tval AppID = s '%APPID%'\r\n\t\t}\r\n\t}\r\n}\r\n";

const wchar_t kClassScript[] =
    L"HKCR\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n"
    L"\t\tForceRemove {5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24} = s 'BrellowShellMenu Class'\r\n\t\t{\r\n"
    L"\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    L"\t\t\t}\r\n\t\t}\r\n\t}\r\n\r\n"
    L"\tNoRemove Directory\r\n\t{\r\n\t\tNoRemove Background\r\n\t\t{\r\n\t\t\tNoRemove ShellEx\r\n\t\t\t{\r\n"
    L"\t\t\t\tNoRemove ContextMenuHandlers\r\n\t\t\t\t{\r\n"
    L"\t\t\t\t\tForceRemove Brellow = s '{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}'\r\n"
    L"\t\t\t\t}\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n\r\n"
    L"\tNoRemove LibraryFolder\r\n\t{\r\n\t\tNoRemove Background\r\n\t\t{\r\n\t\t\tNoRemove ShellEx\r\n\t\t\t{\r\n"
    L"\t\t\t\tNoRemove ContextMenuHandlers\r\n\t\t\t\t{\r\n"
    L"\t\t\t\t\tForceRemove Brellow = s '{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}'\r\n"
    L"\t\t\t\t}\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}";

const wchar_t kAppId[] = L"{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}";
const wchar_t kModule[] = L"C:\\Program Files\\Brel''low\\Brellmenu.dll";
const wchar_t kClassKey[] = L"CLSID\\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}\\InprocServer32";

double Seconds() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ClassKeyPresent() {
    brell::UniqueHKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// One registration and one unregistration, in the order the server uses.
HRESULT OursOnce() {
    for (BOOL doRegister : {TRUE, FALSE}) {
        for (const wchar_t* script : {kAppIdScript, kClassScript}) {
            const wchar_t* ordered = doRegister ? script : (script == kAppIdScript ? kClassScript : kAppIdScript);
            CRegObject registrar;
            registrar.AddVariable(L"APPID", kAppId);
            registrar.AddVariable(L"Module", kModule);
            registrar.AddVariable(L"Module_Raw", kModule);
            const HRESULT hr = registrar.RunScript(ordered, doRegister);
            if (FAILED(hr)) return hr;
        }
        if (doRegister && !ClassKeyPresent()) return E_UNEXPECTED;
    }
    return ClassKeyPresent() ? E_UNEXPECTED : S_OK;
}

HRESULT SystemOnce() {
    for (BOOL doRegister : {TRUE, FALSE}) {
        for (const wchar_t* script : {kAppIdScript, kClassScript}) {
            const wchar_t* ordered = doRegister ? script : (script == kAppIdScript ? kClassScript : kAppIdScript);
            brell::ComPtr<ISystemRegistrar> registrar;
            HRESULT hr = CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                          registrar.put_void());
            if (FAILED(hr)) return hr;
            registrar->AddReplacement(L"APPID", kAppId);
            registrar->AddReplacement(L"Module", kModule);
            registrar->AddReplacement(L"Module_Raw", kModule);
            hr = doRegister ? registrar->StringRegister(ordered) : registrar->StringUnregister(ordered);
            if (FAILED(hr)) return hr;
        }
        if (doRegister && !ClassKeyPresent()) return E_UNEXPECTED;
    }
    return ClassKeyPresent() ? E_UNEXPECTED : S_OK;
}

// Total seconds for rounds runs of once(), or a negative number on failure.
double Measure(HRESULT (*once)(), int rounds, HRESULT* failure) {
    const double start = Seconds();
    for (int i = 0; i < rounds; ++i) {
        const HRESULT hr = once();
        if (FAILED(hr)) {
            *failure = hr;
            return -1.0;
        }
    }
    return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 300;
    if (rounds < 1) rounds = 1;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;

    HRESULT failure = S_OK;
    // warm both paths up, then alternate halves so drift hits both alike
    if (Measure(OursOnce, 5, &failure) < 0 || Measure(SystemOnce, 5, &failure) < 0) {
        printf("warm-up failed: 0x%08X\n", static_cast<unsigned>(failure));
        CoUninitialize();
        return 1;
    }
    // Short alternating blocks, so that load from elsewhere on the machine
    // hits both alike; the ratio of the fastest blocks is the steadier figure.
    constexpr int kBlocks = 10;
    const int perBlock = rounds / kBlocks > 0 ? rounds / kBlocks : 1;
    rounds = perBlock * kBlocks;
    double ours = 0.0;
    double system = 0.0;
    double bestOurs = 1e300;
    double bestSystem = 1e300;
    for (int block = 0; block < kBlocks; ++block) {
        double a;
        double b;
        if (block % 2 == 0) {
            a = Measure(OursOnce, perBlock, &failure);
            b = a < 0 ? -1.0 : Measure(SystemOnce, perBlock, &failure);
        } else {
            b = Measure(SystemOnce, perBlock, &failure);
            a = b < 0 ? -1.0 : Measure(OursOnce, perBlock, &failure);
        }
        if (a < 0 || b < 0) {
            printf("run failed: 0x%08X\n", static_cast<unsigned>(failure));
            CoUninitialize();
            return 1;
        }
        ours += a;
        system += b;
        if (a < bestOurs) bestOurs = a;
        if (b < bestSystem) bestSystem = b;
    }
    CoUninitialize();

    printf("registry scripts (AppID + class), %d register/unregister rounds each\n", rounds);
    printf("ours:            %8.1f ms  (%7.1f us per round)\n", ours * 1e3, ours * 1e6 / rounds);
    printf("system registrar:%8.1f ms  (%7.1f us per round)\n", system * 1e3, system * 1e6 / rounds);
    printf("ratio ours/system: %.2fx in total, %.2fx of the fastest blocks (target <= 1.00x)\n", ours / system,
           bestOurs / bestSystem);
    return 0;
}
