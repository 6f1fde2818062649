// The class factory that DllGetClassObject hands out (cached once per class
// in the object map), and the creator that makes it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "server/ComObject.h"
#include "server/ObjectMap.h"

// Makes objects through the instance creator it was given; LockServer keeps
// the module loaded.
class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    CComClassFactory() noexcept = default;
    virtual ~CComClassFactory();
    CComClassFactory(const CComClassFactory&) = delete;
    CComClassFactory& operator=(const CComClassFactory&) = delete;

    // Sets up the factory's lock; E_OUTOFMEMORY when that fails.
    HRESULT Setup(CreatorFunc createInstance) noexcept;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

private:
    CRITICAL_SECTION m_lock;
    bool m_lockReady = false;
    CreatorFunc m_createInstance = nullptr;
};

// The class-object creator of the object map: context is the class's
// instance creator. The reference handed out is the object map's own.
HRESULT WINAPI CreateClassObject(void* context, REFIID iid, void** ppv);
