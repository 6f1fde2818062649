#include "server/ClassFactory.h"

#include <new>

#include "server/CriticalSection.h"
#include "server/Module.h"

CComClassFactory::~CComClassFactory() {
    if (m_lockReady) DeleteCriticalSection(&m_lock);
}

HRESULT CComClassFactory::Setup(CreatorFunc createInstance) noexcept {
    m_createInstance = createInstance;
    const HRESULT hr = InitCriticalSection(&m_lock);
    if (FAILED(hr)) return hr;
    m_lockReady = true;
    return S_OK;
}

const InterfaceMapEntry* CComClassFactory::GetInterfaceMap() noexcept {
    static const InterfaceMapEntry map[] = {
        {&IID_IClassFactory, OffsetOfBase<IClassFactory, CComClassFactory>()},
        {nullptr, 0},
    };
    return map;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    if (!m_createInstance) return E_UNEXPECTED;
    return m_createInstance(outer, iid, ppv);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock) {
    if (lock) {
        g_pModule->IncrementLock();
    } else {
        g_pModule->DecrementLock();
    }
    return S_OK;
}

HRESULT WINAPI CreateClassObject(void* context, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new (std::nothrow) CComObjectCached<CComClassFactory>();
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->Setup(reinterpret_cast<CreatorFunc>(context));
    if (FAILED(hr)) {
        delete factory;
        return hr;
    }
    hr = factory->QueryInterface(iid, ppv);
    if (hr != S_OK) {
        *ppv = nullptr;
        delete factory;
    }
    return hr;
}
