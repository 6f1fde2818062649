// A small in-process CLSID_ShellLibrary server for the launch tests. The test
// registers it in place of the system's; it reads what to do from
// HKCU\Software\BrellTest\FakeLibrary:
//   SaveFolder (string)  the file-system path of the default save folder
//   FailStep   (DWORD)   1 LoadLibraryFromItem, 2 GetDefaultSaveFolder,
//                        3 the save folder's GetDisplayName fail with FailCode
//   FailCode   (DWORD)   the HRESULT of the failing step
// and writes LoadedFrom (the parsing name of the item it was loaded from).
// FakeLibraryLiveObjects tells the test how many of its objects are alive.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "support/ComFake.h"
#include "support/Registry.h"

namespace {

using brelltest::FakeUnknown;
using brelltest::NotImplemented;

LONG g_liveObjects = 0;
constexpr wchar_t kConfigKey[] = L"Software\\BrellTest\\FakeLibrary";

HRESULT StepResult(DWORD step) {
    DWORD failStep = 0, failCode = 0;
    if (!brelltest::ReadDword(HKEY_CURRENT_USER, kConfigKey, L"FailStep", &failStep) || failStep != step) return S_OK;
    brelltest::ReadDword(HKEY_CURRENT_USER, kConfigKey, L"FailCode", &failCode);
    return static_cast<HRESULT>(failCode);
}

// Counts itself in the live objects for as long as it exists.
class Counted {
protected:
    Counted() { InterlockedIncrement(&g_liveObjects); }
    ~Counted() { InterlockedDecrement(&g_liveObjects); }
};

// The save folder: only its display name is ever asked for.
class SaveFolderItem final : public FakeUnknown<IShellItem>, Counted {
public:
    explicit SaveFolderItem(std::wstring path) : path_(std::move(path)) {}
    STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** ppv) override { return NotImplemented(ppv); }
    STDMETHODIMP GetParent(IShellItem** ppsi) override { return NotImplemented(ppsi); }
    STDMETHODIMP GetDisplayName(SIGDN kind, LPWSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        HRESULT hr = StepResult(3);
        if (FAILED(hr)) return hr;
        if (kind != SIGDN_FILESYSPATH) return E_INVALIDARG;
        const size_t bytes = (path_.size() + 1) * sizeof(wchar_t);
        *name = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*name) return E_OUTOFMEMORY;
        std::memcpy(*name, path_.c_str(), bytes);
        return S_OK;
    }
    STDMETHODIMP GetAttributes(SFGAOF, SFGAOF* attributes) override { return NotImplemented(attributes); }
    STDMETHODIMP Compare(IShellItem*, SICHINTF, int* order) override { return NotImplemented(order); }

private:
    std::wstring path_;
};

class FakeLibrary final : public FakeUnknown<IShellLibrary>, Counted {
public:
    STDMETHODIMP LoadLibraryFromItem(IShellItem* item, DWORD mode) override {
        HRESULT hr = StepResult(1);
        if (FAILED(hr)) return hr;
        if (!item || mode != STGM_READ) return E_INVALIDARG;
        LPWSTR name = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, &name)) && name) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kConfigKey, L"LoadedFrom", REG_SZ, name,
                            static_cast<DWORD>((std::wcslen(name) + 1) * sizeof(wchar_t)));
            CoTaskMemFree(name);
        }
        loaded_ = true;
        return S_OK;
    }
    STDMETHODIMP LoadLibraryFromKnownFolder(REFKNOWNFOLDERID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP AddFolder(IShellItem*) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveFolder(IShellItem*) override { return E_NOTIMPL; }
    STDMETHODIMP GetFolders(LIBRARYFOLDERFILTER, REFIID, void** ppv) override { return NotImplemented(ppv); }
    STDMETHODIMP ResolveFolder(IShellItem*, DWORD, REFIID, void** ppv) override { return NotImplemented(ppv); }
    STDMETHODIMP GetDefaultSaveFolder(DEFAULTSAVEFOLDERTYPE type, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        HRESULT hr = StepResult(2);
        if (FAILED(hr)) return hr;
        if (!loaded_ || type != DSFT_PRIVATE) return E_UNEXPECTED;
        std::wstring saveFolder;
        brelltest::ReadString(HKEY_CURRENT_USER, kConfigKey, L"SaveFolder", &saveFolder);
        SaveFolderItem* item = new (std::nothrow) SaveFolderItem(saveFolder);
        if (!item) return E_OUTOFMEMORY;
        hr = item->QueryInterface(iid, ppv);
        item->Release();
        return hr;
    }
    STDMETHODIMP SetDefaultSaveFolder(DEFAULTSAVEFOLDERTYPE, IShellItem*) override { return E_NOTIMPL; }
    STDMETHODIMP GetOptions(LIBRARYOPTIONFLAGS* options) override {
        if (options) *options = LOF_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP SetOptions(LIBRARYOPTIONFLAGS, LIBRARYOPTIONFLAGS) override { return E_NOTIMPL; }
    STDMETHODIMP GetFolderType(FOLDERTYPEID* type) override { return NotImplemented(type); }
    STDMETHODIMP SetFolderType(REFFOLDERTYPEID) override { return E_NOTIMPL; }
    STDMETHODIMP GetIcon(LPWSTR* icon) override { return NotImplemented(icon); }
    STDMETHODIMP SetIcon(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP Commit() override { return E_NOTIMPL; }
    STDMETHODIMP Save(IShellItem*, LPCWSTR, LIBRARYSAVEFLAGS, IShellItem** ppsi) override {
        return NotImplemented(ppsi);
    }
    STDMETHODIMP SaveInKnownFolder(REFKNOWNFOLDERID, LPCWSTR, LIBRARYSAVEFLAGS, IShellItem** ppsi) override {
        return NotImplemented(ppsi);
    }

private:
    bool loaded_ = false;
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        FakeLibrary* library = new (std::nothrow) FakeLibrary();
        if (!library) return E_OUTOFMEMORY;
        const HRESULT hr = library->QueryInterface(iid, ppv);
        library->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_ShellLibrary)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, ppv);
}

// Stays loaded: the test asks it how many objects are still alive.
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

LONG WINAPI FakeLibraryLiveObjects() { return g_liveObjects; }

}  // extern "C"
