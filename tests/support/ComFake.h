// What the tests' fake COM objects share: IUnknown for one interface with a
// plain reference count (deleted at the last Release), and the answer of a
// method they leave out.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace brelltest {

template <class Interface>
class FakeUnknown : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(Interface))) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<Interface*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&refs_);
        if (count == 0) delete this;
        return count;
    }

protected:
    FakeUnknown() = default;
    virtual ~FakeUnknown() = default;

private:
    LONG refs_ = 1;
};

// E_NOTIMPL, with the out-pointer cleared as COM's rules want.
template <class T>
HRESULT NotImplemented(T* out) {
    if (out) *out = T();
    return E_NOTIMPL;
}

}  // namespace brelltest
