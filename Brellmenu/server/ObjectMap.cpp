#include "server/ObjectMap.h"

#include <cstdlib>

#include "menu/BrellowShellMenu.h"
#include "server/ClassFactory.h"
#include "server/CriticalSection.h"
#include "server/Module.h"
#include "server/OtherBuild.h"
#include "server/Registration.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HINSTANCE ThisModule() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

const wchar_t* WINAPI NoDescription() { return nullptr; }
const void* WINAPI NoCategories() { return nullptr; }
void WINAPI NoObjectMain(bool) {}

HRESULT WINAPI UpdateMenuClassRegistry(BOOL doRegister) {
    if (!doRegister && OtherBuildRegistered())
        return UpdateRegistryFromScript(kClassKeyScriptId, FALSE, nullptr);
    return UpdateRegistryFromScript(kClassScriptId, doRegister, nullptr);
}

ObjectMapEntry g_menuEntry = {
    &CLSID_BrellowShellMenu, UpdateMenuClassRegistry, CreateClassObject, CreateMenuObject,
    nullptr, 0, NoDescription, NoCategories, NoObjectMain,
};

ObjectMapEntry* const g_objectMap[] = {&g_menuEntry};

}  // namespace

bool g_initFailed = false;

// The three module-level objects must come up in this order (map, instance,
// module) and go down in the reverse one, whatever the link order.
__attribute__((init_priority(1001))) CClassObjectMap g_classObjectMap;
__attribute__((init_priority(1002))) CModuleInstance g_moduleInstance;
__attribute__((init_priority(1003))) CBrellmenuModule g_brellmenuModule;

CClassObjectMap::CClassObjectMap() noexcept
    : m_hInstTypeLib(ThisModule()),
      m_ppEntriesFirst(g_objectMap),
      m_ppEntriesLast(g_objectMap + sizeof(g_objectMap) / sizeof(g_objectMap[0])) {
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
        EnterCriticalSection(&m_csObjMap);
        if (!match->pCF) {
            IUnknown* created = nullptr;
            hr = match->pfnGetClassObject(reinterpret_cast<void*>(match->pfnCreateInstance),
                                          IID_IUnknown, reinterpret_cast<void**>(&created));
            __atomic_store_n(&match->pCF, created, __ATOMIC_RELEASE);
        }
        LeaveCriticalSection(&m_csObjMap);
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
    m_csResourceReady = true;
}

CModuleInstance::~CModuleInstance() {
    if (m_csResourceReady) DeleteCriticalSection(&m_csResource);
    std::free(m_resourceModules);
    m_resourceModules = nullptr;
    m_resourceCount = m_resourceCapacity = 0;
}
