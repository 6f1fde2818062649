#include "launch/LibrarySaveFolder.h"

#include <shlobj.h>

#include <cwchar>

#include "Owners.h"

HRESULT CopyFolderPath(const wchar_t* source, wchar_t* path, size_t capacity) noexcept {
    if (!path || capacity == 0) return E_INVALIDARG;
    path[0] = L'\0';
    if (!source) return E_UNEXPECTED;
    // A path that does not fit is refused whole: a cut path would name a
    // different folder.
    const size_t length = std::wcslen(source);
    if (length >= capacity) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::wmemcpy(path, source, length + 1);
    return S_OK;
}

HRESULT LibrarySaveFolderPath(IShellItem* libraryItem, wchar_t* path, size_t capacity) noexcept {
    if (!path || capacity == 0) return E_INVALIDARG;
    path[0] = L'\0';
    if (!libraryItem) return E_INVALIDARG;

    brell::ComPtr<IShellLibrary> library;
    {
        brell::ComPtr<IShellLibrary> created;
        HRESULT hr = CoCreateInstance(CLSID_ShellLibrary, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLibrary, created.put_void());
        if (FAILED(hr)) return hr;
        if (!created) return E_UNEXPECTED;
        hr = created->LoadLibraryFromItem(libraryItem, STGM_READ);
        if (FAILED(hr)) return hr;
        hr = created->QueryInterface(IID_IShellLibrary, library.put_void());
        if (FAILED(hr)) return hr;
        if (!library) return E_UNEXPECTED;
    }

    brell::ComPtr<IShellItem> saveFolder;
    HRESULT hr = library->GetDefaultSaveFolder(DSFT_PRIVATE, IID_IShellItem, saveFolder.put_void());
    if (FAILED(hr)) return hr;
    if (!saveFolder) return E_UNEXPECTED;

    brell::UniqueCoTaskMemString name;
    hr = saveFolder->GetDisplayName(SIGDN_FILESYSPATH, name.put());
    if (FAILED(hr)) return hr;
    return CopyFolderPath(name.get(), path, capacity);
}
