#include "server/TypeLibrary.h"

#include <cwchar>

#include "registrar/PerUserMode.h"
#include "server/Errors.h"
#include "server/ObjectMap.h"
#include "Owners.h"

namespace {

using RegisterFunc = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using UnregisterFunc = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// The per-user variant when per-user mode is on and the loaded oleaut32 has
// it (older systems lack it); null otherwise.
template <class F>
F PerUserVariant(const char* name) noexcept {
    if (!g_perUserRegistration) return nullptr;
    HMODULE oleaut = GetModuleHandleW(L"OLEAUT32.DLL");
    if (!oleaut) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(oleaut, name)));
}

}  // namespace

HRESULT LoadServerTypeLibrary(ITypeLib** typeLib, BSTR* path) noexcept {
    if (!typeLib || !path) return E_POINTER;
    *typeLib = nullptr;
    *path = nullptr;

    wchar_t file[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameW(g_classObjectMap.TypeLibInstance(), file, MAX_PATH);
    if (length == 0) {
        // Never a success code, even if the call left no error behind.
        const HRESULT error = HResultFromLastError();
        return FAILED(error) ? error : E_FAIL;
    }
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    brell::ComPtr<ITypeLib> loaded;
    HRESULT hr = LoadTypeLib(file, loaded.put());
    if (FAILED(hr)) {
        // A type library shipped beside the module under the same name.
        wchar_t* extension = file + length;
        for (wchar_t* p = file + length; p > file; --p) {
            if (p[-1] == L'\\') break;
            if (p[-1] == L'.') {
                extension = p - 1;
                break;
            }
        }
        if ((extension - file) + 5 > MAX_PATH) return E_FAIL;
        if (!CopyWideString(extension, MAX_PATH + 1 - (extension - file), L".tlb")) return E_FAIL;
        hr = LoadTypeLib(file, loaded.put());
        if (FAILED(hr)) return hr;
    }
    BSTR copy = SysAllocString(file);
    if (!copy) return E_OUTOFMEMORY;
    *path = copy;
    *typeLib = loaded.detach();
    return S_OK;
}

HRESULT RegisterServerTypeLibrary() noexcept {
    brell::ComPtr<ITypeLib> typeLib;
    brell::UniqueBstr path;
    HRESULT hr = LoadServerTypeLibrary(typeLib.put(), path.put());
    if (FAILED(hr)) return hr;

    brell::UniqueBstr helpFile;
    // The library names no help file; only a directory derived from one
    // would be passed on.
    brell::UniqueBstr helpDirectory;
    if (SUCCEEDED(typeLib->GetDocumentation(MEMBERID_NIL, nullptr, nullptr, nullptr,
                                            helpFile.put())) &&
        helpFile.get() && SysStringLen(helpFile.get()) > 0) {
        // Keep the directory part, the last backslash included.
        UINT cut = SysStringLen(helpFile.get());
        while (cut > 0 && helpFile.get()[cut - 1] != L'\\') --cut;
        if (cut > 0) helpDirectory.reset(SysAllocStringLen(helpFile.get(), cut));
    }

    RegisterFunc reg = PerUserVariant<RegisterFunc>("RegisterTypeLibForUser");
    if (!reg) reg = RegisterTypeLib;
    return reg(typeLib.get(), path.get(), helpDirectory.get());
}

HRESULT UnregisterServerTypeLibrary() noexcept {
    brell::ComPtr<ITypeLib> typeLib;
    brell::UniqueBstr path;
    HRESULT hr = LoadServerTypeLibrary(typeLib.put(), path.put());
    if (FAILED(hr)) return hr;

    TLIBATTR* attributes = nullptr;
    hr = typeLib->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    UnregisterFunc unreg = PerUserVariant<UnregisterFunc>("UnRegisterTypeLibForUser");
    if (!unreg) unreg = UnRegisterTypeLib;
    hr = unreg(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
               attributes->lcid, attributes->syskind);
    typeLib->ReleaseTLibAttr(attributes);
    return hr;
}
