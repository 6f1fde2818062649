// InvokeCommand: the folder the object holds becomes a file-system path (a
// library becomes its default save folder), then the engine is started.
#include "menu/BrellowShellMenu.h"
#include "launch/EngineLaunch.h"
#include "launch/LibrarySaveFolder.h"
#include "Owners.h"

namespace {

using GetNameFromIdListFunc = HRESULT(WINAPI*)(PCIDLIST_ABSOLUTE, SIGDN, PWSTR*);
using CreateItemFromParsingNameFunc = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, REFIID, void**);

// Looks a shell32 function up for one call, so the DLL also loads where the
// shell lacks it; the library is freed again as soon as the call returns.
class Shell32Function {
public:
    explicit Shell32Function(const char* name) noexcept : shell32_(LoadLibraryW(L"shell32.dll")) {
        if (shell32_) function_ = GetProcAddress(shell32_.get(), name);
        if (!function_) error_ = GetLastError();
    }
    template <class F>
    F get() const noexcept {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(function_));
    }
    HRESULT error() const noexcept {
        return error_ ? HRESULT_FROM_WIN32(error_) : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }

private:
    brell::UniqueModule shell32_;
    FARPROC function_ = nullptr;
    DWORD error_ = 0;
};

}  // namespace

STDMETHODIMP CBrellowShellMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (!info) return E_INVALIDARG;
    // Offset 0 is the one command; names and every other offset belong to
    // other handlers.
    if (reinterpret_cast<UINT_PTR>(info->lpVerb) != 0) return E_FAIL;
    if (!m_folderPidl) return E_UNEXPECTED;

    HRESULT hr = ResolveTargetFolder();
    if (FAILED(hr)) return hr;
    return LaunchEngine(m_folderPath);
}

HRESULT CBrellowShellMenu::ResolveTargetFolder() noexcept {
    m_folderPath[0] = L'\0';
    HRESULT hr = S_OK;
    if (!SHGetPathFromIDListW(m_folderPidl.get(), m_folderPath)) {
        m_folderPath[0] = L'\0';
        hr = ResolveLibrarySaveFolder();
        if (FAILED(hr)) m_folderPath[0] = L'\0';
    }
    m_folderPidl.reset();
    return hr;
}

HRESULT CBrellowShellMenu::ResolveLibrarySaveFolder() noexcept {
    HRESULT hr;
    {
        Shell32Function getName("SHGetNameFromIDList");
        auto fn = getName.get<GetNameFromIdListFunc>();
        if (!fn) return getName.error();
        hr = fn(m_folderPidl.get(), SIGDN_DESKTOPABSOLUTEPARSING, m_displayName.put());
        if (FAILED(hr)) return hr;
        if (!m_displayName) return E_UNEXPECTED;
    }

    brell::ComPtr<IShellItem> libraryItem;
    {
        Shell32Function createItem("SHCreateItemFromParsingName");
        auto fn = createItem.get<CreateItemFromParsingNameFunc>();
        hr = fn ? fn(m_displayName.get(), nullptr, IID_IShellItem, libraryItem.put_void())
                : createItem.error();
        m_displayName.reset();
        if (FAILED(hr)) return hr;
        if (!libraryItem) return E_UNEXPECTED;
    }
    return LibrarySaveFolderPath(libraryItem.get(), m_folderPath, kFolderPathCapacity);
}
