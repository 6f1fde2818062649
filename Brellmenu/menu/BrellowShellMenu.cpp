#include "menu/BrellowShellMenu.h"

#include <cwchar>

#include "launch/PasteTexts.h"
#include "menu/PackagedEntry.h"

const InterfaceMapEntry* CBrellowShellMenu::GetInterfaceMap() noexcept {
    static const InterfaceMapEntry map[] = {
        {&IID_IShellExtInit, OffsetOfBase<IShellExtInit, CBrellowShellMenu>()},
        {&IID_IContextMenu, OffsetOfBase<IContextMenu, CBrellowShellMenu>()},
        {nullptr, 0},
    };
    return map;
}

// A null clone (no folder, or no memory) leaves the object without a folder;
// InvokeCommand then refuses to launch.
STDMETHODIMP CBrellowShellMenu::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject*, HKEY) {
    m_folderPidl.reset();
    if (pidlFolder) m_folderPidl.reset(ILCloneFull(pidlFolder));
    return S_OK;
}

// Called on every right-click: flags first, then one clipboard query, and
// nothing else before the item is known to be wanted. Where Windows 11's
// packaged command is in the menu already, the classic item steps aside.
STDMETHODIMP CBrellowShellMenu::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                                 UINT, UINT flags) {
    if (flags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    if (!IsClipboardFormatAvailable(CF_HDROP)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    if (PackagedEntryShows(m_folderPidl.get())) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    InsertMenuW(menu, indexMenu, MF_BYPOSITION | MF_STRING, idCmdFirst, kPasteMenuText);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

// Only the wide help text is offered; a buffer too small for it gets an empty
// string and a failure rather than a cut text.
STDMETHODIMP CBrellowShellMenu::GetCommandString(UINT_PTR, UINT type, UINT*, CHAR* name,
                                                 UINT cchMax) {
    if (type != GCS_HELPTEXTW) return S_OK;
    if (!name) return E_INVALIDARG;
    wchar_t* buffer = reinterpret_cast<wchar_t*>(name);
    constexpr UINT needed = sizeof(kPasteHelpText) / sizeof(kPasteHelpText[0]);
    if (cchMax < needed) {
        if (cchMax > 0) buffer[0] = L'\0';
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    std::wmemcpy(buffer, kPasteHelpText, needed);
    return S_OK;
}

HRESULT WINAPI CreateMenuObject(void* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CComObject<CBrellowShellMenu>::CreateInstance(iid, ppv);
}
