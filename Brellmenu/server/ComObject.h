// The building blocks of the server's COM classes: threading models for the
// reference count, the object root with its interface map lookup, the
// wrappers that make a class creatable (CComObject, CComObjectCached) and the
// class-id binding (CComCoClass).
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <new>

#include "server/Module.h"

// Reference count without atomics: for apartment-bound objects.
class CComSingleThreadModel {
public:
    static LONG Increment(LONG* count) noexcept { return ++*count; }
    static LONG Decrement(LONG* count) noexcept { return --*count; }
};

// Reference count changed atomically: for objects reached from any thread.
class CComMultiThreadModel {
public:
    static LONG Increment(LONG* count) noexcept { return InterlockedIncrement(count); }
    static LONG Decrement(LONG* count) noexcept { return InterlockedDecrement(count); }
};

// One interface a class answers: its id and the offset of its part within
// the object. A null iid ends the map.
struct InterfaceMapEntry {
    const IID* iid;
    std::ptrdiff_t offset;
};

// Offset of the Base part inside a Derived object, for interface maps.
template <class Base, class Derived>
std::ptrdiff_t OffsetOfBase() noexcept {
    // Any non-null address serves; the cast only applies the base adjustment.
    Derived* const probe = reinterpret_cast<Derived*>(0x100);
    return reinterpret_cast<char*>(static_cast<Base*>(probe)) - reinterpret_cast<char*>(probe);
}

// What the wrappers write into the count before tearing an object down, so a
// late AddRef/Release on a dying object cannot bring it back to zero.
inline constexpr LONG kDestroyedRefCount = static_cast<LONG>(0xC0000001);

// Holds the reference count and answers QueryInterface from an interface map.
// The class T supplies `static const InterfaceMapEntry* GetInterfaceMap()`.
template <class ThreadModel>
class CComObjectRootEx {
public:
    LONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_refCount); }
    LONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_refCount); }

    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}

    // IUnknown is answered with the first entry's part.
    static HRESULT InternalQueryInterface(void* self, const InterfaceMapEntry* map,
                                          REFIID iid, void** ppv) noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!map || !map->iid) return E_NOINTERFACE;
        const InterfaceMapEntry* found = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            found = map;
        } else {
            for (const InterfaceMapEntry* e = map; e->iid; ++e) {
                if (InlineIsEqualGUID(iid, *e->iid)) {
                    found = e;
                    break;
                }
            }
        }
        if (!found) return E_NOINTERFACE;
        IUnknown* part = reinterpret_cast<IUnknown*>(static_cast<char*>(self) + found->offset);
        part->AddRef();
        *ppv = part;
        return S_OK;
    }

protected:
    LONG m_refCount = 0;
};

// Binds a class to its class id.
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    static const CLSID& GetObjectCLSID() noexcept { return *pclsid; }
};

// A creatable object: supplies IUnknown on top of Base and holds one module
// lock for as long as it lives.
template <class Base>
class CComObject final : public Base {
public:
    CComObject() noexcept { g_pModule->IncrementLock(); }
    virtual ~CComObject() {
        this->m_refCount = kDestroyedRefCount;
        this->FinalRelease();
        g_pModule->DecrementLock();
    }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        return Base::InternalQueryInterface(this, Base::GetInterfaceMap(), iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(this->InternalAddRef()); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = this->InternalRelease();
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

    // Makes an object and hands out riid; the object is gone again when the
    // query fails.
    static HRESULT CreateInstance(REFIID iid, void** ppv) noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        CComObject* object = new (std::nothrow) CComObject();
        if (!object) return E_OUTOFMEMORY;
        object->InternalAddRef();
        HRESULT hr = object->FinalConstruct();
        object->InternalRelease();
        if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, ppv);
        if (hr != S_OK) {
            *ppv = nullptr;
            delete object;
        }
        return hr;
    }
};

// The wrapper of a cached class object: the holder's own reference does not
// lock the module, every reference beyond it does.
template <class Base>
class CComObjectCached final : public Base {
public:
    CComObjectCached() noexcept = default;
    virtual ~CComObjectCached() {
        this->m_refCount = kDestroyedRefCount;
        this->FinalRelease();
    }
    CComObjectCached(const CComObjectCached&) = delete;
    CComObjectCached& operator=(const CComObjectCached&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        return Base::InternalQueryInterface(this, Base::GetInterfaceMap(), iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        const LONG count = this->InternalAddRef();
        if (count == 2) g_pModule->IncrementLock();
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = this->InternalRelease();
        if (count == 0) {
            delete this;
        } else if (count == 1) {
            g_pModule->DecrementLock();
        }
        return static_cast<ULONG>(count);
    }
};
