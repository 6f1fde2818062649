#include "server/ObjectMap.h"

#include <cstdlib>

#include "server/CriticalSection.h"
#include "Owners.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HINSTANCE ThisModule() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// Whether the module instance's resource lock was set up; kept outside the
// record, whose fields are fixed.
bool g_resourceLockReady = false;

}  // namespace

bool g_initFailed = false;

const wchar_t* WINAPI NoObjectDescription() { return nullptr; }
const void* WINAPI NoCategoryMap() { return nullptr; }
void WINAPI NoObjectMain(bool) {}

CClassObjectMap::CClassObjectMap(ObjectMapEntry* const* first, ObjectMapEntry* const* last) noexcept
    : m_hInstTypeLib(ThisModule()), m_ppEntriesFirst(first), m_ppEntriesLast(last) {
    if (FAILED(InitCriticalSection(&m_csObjMap))) {
        g_initFailed = true;
        return;
    }
    cbSize = sizeof(CClassObjectMap);
}

CClassObjectMap::~CClassObjectMap() {
    if (cbSize == 0) return;
    for (ObjectMapEntry* entry : *this) {
        if (entry && entry->pCF) {
            entry->pCF->Release();
            entry->pCF = nullptr;
        }
    }
    DeleteCriticalSection(&m_csObjMap);
    cbSize = 0;
}

void CClassObjectMap::CallObjectMain(bool starting) noexcept {
    for (ObjectMapEntry* entry : *this) {
        if (entry && entry->pfnObjectMain) entry->pfnObjectMain(starting);
    }
}

HRESULT CClassObjectMap::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (cbSize == 0) return E_UNEXPECTED;

    ObjectMapEntry* match = nullptr;
    for (ObjectMapEntry* entry : *this) {
        if (!entry || !entry->pfnGetClassObject) continue;
        if (InlineIsEqualGUID(clsid, *entry->pclsid)) {
            match = entry;
            break;
        }
    }
    if (!match) return CLASS_E_CLASSNOTAVAILABLE;

    HRESULT hr = S_OK;
    // The pointer is read without the lock first; concurrent first requests
    // meet in the lock and test it again, so only one factory is ever made.
    if (!__atomic_load_n(&match->pCF, __ATOMIC_ACQUIRE)) {
        brell::Hold hold(m_csObjMap);
        if (!match->pCF) {
            IUnknown* created = nullptr;
            hr = match->pfnGetClassObject(reinterpret_cast<void*>(match->pfnCreateInstance),
                                          IID_IUnknown, reinterpret_cast<void**>(&created));
            __atomic_store_n(&match->pCF, created, __ATOMIC_RELEASE);
        }
    }
    if (IUnknown* factory = __atomic_load_n(&match->pCF, __ATOMIC_ACQUIRE)) {
        hr = factory->QueryInterface(iid, ppv);
    }
    if (!*ppv && hr == S_OK) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

CModuleInstance::CModuleInstance() noexcept
    : cbSize(sizeof(CModuleInstance)),
      m_hInst(ThisModule()),
      m_hInstResource(ThisModule()),
      dwAtlBuildVer(0x0900),
      pguidVer(nullptr) {
    if (FAILED(InitCriticalSection(&m_csResource))) {
        g_initFailed = true;
        return;
    }
    g_resourceLockReady = true;
}

CModuleInstance::~CModuleInstance() {
    if (g_resourceLockReady) DeleteCriticalSection(&m_csResource);
    g_resourceLockReady = false;
    std::free(m_resourceModules);
    m_resourceModules = nullptr;
    m_resourceCount = m_resourceCapacity = 0;
}
