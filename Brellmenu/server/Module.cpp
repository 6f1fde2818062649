#include "server/Module.h"

#include "server/CriticalSection.h"
#include "server/ObjectMap.h"

CAtlModule* g_pModule = nullptr;
GUID CAtlModule::m_libid = {};

CAtlModule::CAtlModule() noexcept {
    cbSize = 0;
    m_nLockCnt = 0;
    m_pTermFuncs = nullptr;
    g_pModule = this;
    if (FAILED(InitCriticalSection(&m_csStaticDataInitAndTypeInfo))) {
        g_initFailed = true;
        return;
    }
    cbSize = sizeof(_ATL_MODULE70);
}

CAtlModule::~CAtlModule() { Term(); }

void CAtlModule::Term() noexcept {
    if (cbSize == 0) return;
    while (TermFuncEntry* entry = m_pTermFuncs) {
        m_pTermFuncs = entry->next;
        entry->function(entry->argument);
        delete entry;
    }
    if (m_pGIT) {
        m_pGIT->Release();
        m_pGIT = nullptr;
    }
    DeleteCriticalSection(&m_csStaticDataInitAndTypeInfo);
    cbSize = 0;
}

LONG CAtlModule::IncrementLock() noexcept { return InterlockedIncrement(&m_nLockCnt); }

LONG CAtlModule::DecrementLock() noexcept { return InterlockedDecrement(&m_nLockCnt); }

LONG CAtlModule::LockCount() noexcept { return m_nLockCnt; }

HRESULT CAtlModule::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept {
    if (!table) return E_POINTER;
    *table = nullptr;
    IGlobalInterfaceTable* held = __atomic_load_n(&m_pGIT, __ATOMIC_ACQUIRE);
    if (!held) {
        IGlobalInterfaceTable* created = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                                            reinterpret_cast<void**>(&created));
        if (FAILED(hr)) return hr;
        if (!created) return E_UNEXPECTED;
        // Two threads may both create one: the first to store it wins and
        // the other gives its reference back, so none is leaked.
        IGlobalInterfaceTable* expected = nullptr;
        if (__atomic_compare_exchange_n(&m_pGIT, &expected, created, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
            held = created;
        } else {
            created->Release();
            held = expected;
        }
    }
    held->AddRef();
    *table = held;
    return S_OK;
}
