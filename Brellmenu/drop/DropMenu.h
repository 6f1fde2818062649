// The right-drag menu object: offers "Copy here with Brellow" and "Move here
// with Brellow" when files of the file system are dropped with the right
// mouse button on a folder, a drive or a library, and hands the dropped list
// to the engine through a pipe (never the clipboard) when one is chosen.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "DropListStream.h"
#include "drop/DropIdentity.h"
#include "server/ComObject.h"
#include "Owners.h"

class CBrellowDropMenu : public IShellExtInit,
                         public IContextMenu,
                         public CComObjectRootEx<CComSingleThreadModel>,
                         public CComCoClass<CBrellowDropMenu, &CLSID_BrellowDropMenu> {
public:
    // The two commands, by their offset from the first identifier.
    static constexpr UINT kCopyOffset = 0;
    static constexpr UINT kMoveOffset = 1;
    static constexpr UINT kCommandCount = 2;

    CBrellowDropMenu() noexcept = default;
    CBrellowDropMenu(const CBrellowDropMenu&) = delete;
    CBrellowDropMenu& operator=(const CBrellowDropMenu&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // IShellExtInit: the drop folder and the dragged data. All the reading
    // happens here, so that QueryContextMenu only looks at what was kept.
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* dataObject, HKEY progIdKey) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name, UINT cchMax) override;

protected:
    ~CBrellowDropMenu() = default;

private:
    void Forget() noexcept;
    // Copies the CF_HDROP block of the data object, up to kMaxDropListBytes,
    // when it parses as the engine parses it and names at least one item.
    void KeepFileList(IDataObject* dataObject) noexcept;

    brell::ComPtr<IShellItem> m_folder;  // the drop folder, when the engine can take it
    brell::UniqueHeapMem<unsigned char> m_list;
    size_t m_listBytes = 0;
};

// The instance creator of the drop menu class in the object map.
HRESULT WINAPI CreateDropMenuObject(void* outer, REFIID iid, void** ppv);
