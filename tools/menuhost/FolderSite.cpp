#include "FolderSite.h"

#include "Owners.h"

#include <shlguid.h>

#include <new>

namespace brell {
namespace {

// One object plays the site, the browser and its view: Explorer's are
// separate objects, but only what each interface answers matters here.
class FolderSite final : public IServiceProvider, public IShellBrowser, public IShellView, public IFolderView {
public:
    FolderSite(IShellItem* folder, unsigned links) : folder_(ComPtr<IShellItem>::copy(folder)), links_(links) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IServiceProvider))
            *ppv = static_cast<IServiceProvider*>(this);
        else if (IsEqualIID(iid, IID_IShellBrowser) && (links_ & kSiteBrowser))
            *ppv = static_cast<IShellBrowser*>(this);
        else if (IsEqualIID(iid, IID_IShellView) && (links_ & kSiteActiveView))
            *ppv = static_cast<IShellView*>(this);
        else if (IsEqualIID(iid, IID_IFolderView) && (links_ & kSiteViewIsFolderView))
            *ppv = static_cast<IFolderView*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&refs_);
        if (count == 0) delete this;
        return count;
    }

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(service, SID_SFolderView) && (links_ & kSiteFolderView) && IsEqualIID(iid, IID_IFolderView))
            *ppv = static_cast<IFolderView*>(this);
        else if (IsEqualGUID(service, SID_STopLevelBrowser) && (links_ & kSiteBrowser) &&
                 IsEqualIID(iid, IID_IShellBrowser))
            *ppv = static_cast<IShellBrowser*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IShellBrowser: only the active view is asked for.
    STDMETHODIMP QueryActiveShellView(IShellView** view) override {
        if (!view) return E_POINTER;
        *view = nullptr;
        if (!(links_ & kSiteActiveView)) return E_FAIL;
        *view = static_cast<IShellView*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetWindow(HWND* window) override {
        if (window) *window = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusTextSB(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return E_NOTIMPL; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return E_NOTIMPL; }
    STDMETHODIMP GetViewStateStream(DWORD, IStream** stream) override {
        if (stream) *stream = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetControlWindow(UINT, HWND* window) override {
        if (window) *window = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
    STDMETHODIMP OnViewWindowActive(IShellView*) override { return E_NOTIMPL; }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }

    // IShellView: only its IFolderView is asked for.
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP UIActivate(UINT) override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP CreateViewWindow(IShellView*, LPCFOLDERSETTINGS, IShellBrowser*, RECT*, HWND* window) override {
        if (window) *window = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DestroyViewWindow() override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentInfo(LPFOLDERSETTINGS) override { return E_NOTIMPL; }
    STDMETHODIMP AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override { return E_NOTIMPL; }
    STDMETHODIMP SaveViewState() override { return E_NOTIMPL; }
    STDMETHODIMP SelectItem(PCUITEMID_CHILD, SVSIF) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemObject(UINT, REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }

    // IFolderView: only the folder is asked for.
    STDMETHODIMP GetFolder(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!(links_ & kSiteViewHasFolder) || !folder_) return E_FAIL;
        return folder_->QueryInterface(iid, ppv);
    }
    STDMETHODIMP GetCurrentViewMode(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP SetCurrentViewMode(UINT) override { return E_NOTIMPL; }
    STDMETHODIMP Item(int, PITEMID_CHILD* item) override {
        if (item) *item = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP ItemCount(UINT, int*) override { return E_NOTIMPL; }
    STDMETHODIMP Items(UINT, REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetSelectionMarkedItem(int*) override { return E_NOTIMPL; }
    STDMETHODIMP GetFocusedItem(int*) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemPosition(PCUITEMID_CHILD, POINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSpacing(POINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDefaultSpacing(POINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAutoArrange() override { return E_NOTIMPL; }
    STDMETHODIMP SelectItem(int, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SelectAndPositionItems(UINT, PCUITEMID_CHILD_ARRAY, POINT*, DWORD) override { return E_NOTIMPL; }

private:
    LONG refs_ = 1;
    ComPtr<IShellItem> folder_;
    unsigned links_;
};

}  // namespace

IServiceProvider* CreateFolderSite(IShellItem* folder, unsigned links) {
    return new (std::nothrow) FolderSite(folder, links);
}

}  // namespace brell
