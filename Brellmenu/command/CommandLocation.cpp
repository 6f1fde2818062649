#include "command/CommandLocation.h"

#include <shlguid.h>
#include <shlobj.h>

#include <cwchar>

#include "launch/LibrarySaveFolder.h"
#include "Owners.h"

namespace {

// The Libraries folder, where the shell lists every library, and the file
// type of a library opened from its own file.
constexpr wchar_t kLibrariesFolder[] = L"::{031E4825-7B94-4DC3-B131-E946B44C8DD5}\\";
constexpr wchar_t kLibraryFileType[] = L".library-ms";

// A host may answer S_OK and hand out nothing: that is no folder either.
HRESULT TakeFolder(HRESULT hr, brell::ComPtr<IShellItem>& item, IShellItem** folder) noexcept {
    if (FAILED(hr)) return hr;
    if (!item) return E_UNEXPECTED;
    *folder = item.detach();
    return S_OK;
}

HRESULT FolderOfView(IFolderView* view, IShellItem** folder) noexcept {
    brell::ComPtr<IShellItem> item;
    return TakeFolder(view->GetFolder(IID_IShellItem, item.put_void()), item, folder);
}

// The site's folder view, as a view's own site offers it.
HRESULT FolderFromViewService(IServiceProvider* services, IShellItem** folder) noexcept {
    brell::ComPtr<IFolderView> view;
    const HRESULT hr = services->QueryService(SID_SFolderView, IID_IFolderView, view.put_void());
    if (FAILED(hr)) return hr;
    if (!view) return E_NOINTERFACE;
    return FolderOfView(view.get(), folder);
}

// The active view of the window's top-level browser.
HRESULT FolderFromBrowser(IServiceProvider* services, IShellItem** folder) noexcept {
    brell::ComPtr<IShellBrowser> browser;
    HRESULT hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void());
    if (FAILED(hr)) return hr;
    if (!browser) return E_NOINTERFACE;
    brell::ComPtr<IShellView> shellView;
    hr = browser->QueryActiveShellView(shellView.put());
    if (FAILED(hr)) return hr;
    if (!shellView) return E_NOINTERFACE;
    brell::ComPtr<IFolderView> view;
    hr = shellView->QueryInterface(IID_IFolderView, view.put_void());
    if (FAILED(hr)) return hr;
    if (!view) return E_NOINTERFACE;
    return FolderOfView(view.get(), folder);
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix) noexcept {
    const size_t length = std::wcslen(prefix);
    return std::wcslen(text) >= length &&
           CompareStringOrdinal(text, static_cast<int>(length), prefix, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

bool EndsWith(const wchar_t* text, const wchar_t* suffix) noexcept {
    const size_t length = std::wcslen(text), suffixLength = std::wcslen(suffix);
    return length >= suffixLength &&
           CompareStringOrdinal(text + length - suffixLength, static_cast<int>(suffixLength), suffix,
                                static_cast<int>(suffixLength), TRUE) == CSTR_EQUAL;
}

}  // namespace

HRESULT CommandLocation(IShellItemArray* items, IUnknown* site, IShellItem** folder) noexcept {
    if (!folder) return E_POINTER;
    *folder = nullptr;

    DWORD count = 0;
    if (items && SUCCEEDED(items->GetCount(&count)) && count > 0) {
        brell::ComPtr<IShellItem> item;
        return TakeFolder(items->GetItemAt(0, item.put()), item, folder);
    }
    if (!site) return E_FAIL;

    brell::ComPtr<IServiceProvider> services;
    HRESULT hr = site->QueryInterface(IID_IServiceProvider, services.put_void());
    if (FAILED(hr)) return hr;
    if (!services) return E_NOINTERFACE;
    hr = FolderFromViewService(services.get(), folder);
    if (SUCCEEDED(hr)) return hr;
    return FolderFromBrowser(services.get(), folder);
}

LocationKind ClassifyLocation(IShellItem* folder) noexcept {
    if (!folder) return LocationKind::Other;
    // Attributes first: they settle the common case, a plain folder.
    // GetAttributes answers S_FALSE when only some of the asked bits are set.
    SFGAOF attributes = 0;
    constexpr SFGAOF kFolder = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    const bool known = SUCCEEDED(folder->GetAttributes(kFolder | SFGAO_STREAM, &attributes));
    // A folder that is also a stream is a file (an archive, or a library's
    // own file), which the engine cannot paste into.
    if (known && (attributes & kFolder) == kFolder && !(attributes & SFGAO_STREAM))
        return LocationKind::FileSystemFolder;

    brell::UniqueCoTaskMemString name;
    if (SUCCEEDED(folder->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, name.put())) && name &&
        (StartsWith(name.get(), kLibrariesFolder) || EndsWith(name.get(), kLibraryFileType)))
        return LocationKind::Library;
    return LocationKind::Other;
}

HRESULT PasteFolderPath(IShellItem* folder, wchar_t* path, size_t capacity) noexcept {
    if (!path || capacity == 0) return E_INVALIDARG;
    path[0] = L'\0';
    if (!folder) return E_INVALIDARG;
    if (ClassifyLocation(folder) != LocationKind::Library) {
        brell::UniqueCoTaskMemString name;
        if (SUCCEEDED(folder->GetDisplayName(SIGDN_FILESYSPATH, name.put())) && name)
            return CopyFolderPath(name.get(), path, capacity);
    }
    // A virtual folder takes the library route, as in the classic menu: a
    // place that is no library ends with the library's own failure.
    return LibrarySaveFolderPath(folder, path, capacity);
}
