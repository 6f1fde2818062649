// The top-level "Paste with Brellow" command of Windows 11's folder menu: an
// IExplorerCommand that a package declares for folder backgrounds. Explorer
// makes a new object for each question it asks, so the object keeps nothing
// between calls but the site it was given.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <shobjidl.h>

#include "command/CommandIdentity.h"
#include "server/ComObject.h"
#include "Owners.h"

class CPasteCommand : public IExplorerCommand,
                      public IObjectWithSite,
                      public CComObjectRootEx<CComSingleThreadModel>,
                      public CComCoClass<CPasteCommand, &CLSID_PasteCommand> {
public:
    // The command's icon in Brellcmd.dll's resources.
    static constexpr int kIconId = 101;

    CPasteCommand() noexcept = default;
    CPasteCommand(const CPasteCommand&) = delete;
    CPasteCommand& operator=(const CPasteCommand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // IExplorerCommand
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) override;
    STDMETHODIMP GetCanonicalName(GUID* name) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* bindContext) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** ppv) override;

protected:
    ~CPasteCommand() = default;

private:
    brell::ComPtr<IUnknown> m_site;
};

// The instance creator of the command class in the object map.
HRESULT WINAPI CreatePasteCommand(void* outer, REFIID iid, void** ppv);
