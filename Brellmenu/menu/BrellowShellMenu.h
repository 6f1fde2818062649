// The paste menu object: offers "Paste with Brellow" on folder and library
// backgrounds while the clipboard holds files, and starts the copy engine
// into that folder when chosen.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "launch/EngineLaunch.h"
#include "server/ComObject.h"
#include "server/Identifiers.h"
#include "Owners.h"

class CBrellowShellMenu : public IShellExtInit,
                          public IContextMenu,
                          public CComObjectRootEx<CComSingleThreadModel>,
                          public CComCoClass<CBrellowShellMenu, &CLSID_BrellowShellMenu> {
public:
    // Capacity of m_folderPath, terminator included: the longest folder the
    // object can hand to the engine.
    static constexpr size_t kFolderPathCapacity = kTargetFolderCapacity;

    CBrellowShellMenu() noexcept = default;
    CBrellowShellMenu(const CBrellowShellMenu&) = delete;
    CBrellowShellMenu& operator=(const CBrellowShellMenu&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* dataObject,
                            HKEY progIdKey) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name,
                                  UINT cchMax) override;

protected:
    ~CBrellowShellMenu() = default;

private:
    // Turns m_folderPidl into a file-system path in m_folderPath (a library
    // into its default save folder) and gives the ID list up. TargetFolder.cpp.
    HRESULT ResolveTargetFolder() noexcept;
    HRESULT ResolveLibrarySaveFolder() noexcept;

    wchar_t m_folderPath[kFolderPathCapacity] = {};
    // The folder's parsing name while a library is looked up; null otherwise.
    brell::UniqueCoTaskMemString m_displayName;
    brell::UniqueIdList m_folderPidl;
};

// The instance creator of the menu class in the object map.
HRESULT WINAPI CreateMenuObject(void* outer, REFIID iid, void** ppv);
