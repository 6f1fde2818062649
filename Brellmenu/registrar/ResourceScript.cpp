// Loading, decoding and running a "REGISTRY" resource of a module file.
#include "registrar/RegObject.h"

#include <climits>

#include "server/Errors.h"
#include "Owners.h"

namespace {

// Scripts of up to this many units are decoded without the heap.
constexpr DWORD kFrameTextUnits = 512;

// The last error as a failure; a call that failed without setting one must
// still not be reported as success.
HRESULT LastErrorFailure() noexcept {
    const HRESULT hr = HResultFromLastError();
    return FAILED(hr) ? hr : E_FAIL;
}

}  // namespace

HRESULT CRegObject::RunScriptBytes(const char* bytes, DWORD count, BOOL doRegister) noexcept {
    if (!bytes && count != 0) return E_POINTER;
    if (count == UINT_MAX || count > static_cast<DWORD>(INT_MAX)) return E_OUTOFMEMORY;
    const DWORD units = count + 1;

    wchar_t frame[kFrameTextUnits];
    brell::UniqueHeapMem<wchar_t> heap;
    wchar_t* text = frame;
    if (units > kFrameTextUnits) {
        heap.reset(
            static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(units) * sizeof(wchar_t))));
        if (!heap) return E_OUTOFMEMORY;
        text = heap.get();
    }

    const int produced = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(count), text,
                                             static_cast<int>(count));
    if (produced <= 0) return LastErrorFailure();
    text[produced] = L'\0';
    return RunScript(text, doRegister);
}

HRESULT CRegObject::RunResourceScript(LPCOLESTR moduleFileName, UINT resourceId, BOOL doRegister) noexcept {
    brell::UniqueModule module(LoadLibraryExW(moduleFileName, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return LastErrorFailure();

    HRSRC resource = FindResourceW(module.get(), MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    if (!resource) return LastErrorFailure();
    HGLOBAL loaded = LoadResource(module.get(), resource);
    if (!loaded) return LastErrorFailure();
    const DWORD size = SizeofResource(module.get(), resource);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    if (!bytes) return LastErrorFailure();
    return RunScriptBytes(bytes, size, doRegister);
}
