// Makes menu objects through the server's own class factory, as the shell does.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "server/Identifiers.h"
#include "harness/ServerDll.h"
#include "support/Folders.h"

namespace brelltest {

class MenuObjects {
public:
    MenuObjects() : dll_(BinPath(L"Brellmenu.dll")) {}
    bool ok() const { return dll_.ok(); }
    ServerDll& dll() { return dll_; }

    // A new menu object's IContextMenu, initialised with the folder (null
    // for none); null when anything failed.
    IContextMenu* Create(PCIDLIST_ABSOLUTE folder) {
        IClassFactory* factory = nullptr;
        if (FAILED(dll_.DllGetClassObject(CLSID_BrellowShellMenu, IID_IClassFactory,
                                          reinterpret_cast<void**>(&factory))))
            return nullptr;
        IShellExtInit* init = nullptr;
        HRESULT hr = factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
        factory->Release();
        if (FAILED(hr)) return nullptr;
        hr = init->Initialize(folder, nullptr, nullptr);
        IContextMenu* menu = nullptr;
        if (hr == S_OK) init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
        init->Release();
        return menu;
    }

private:
    ServerDll dll_;
};

// Chooses the menu's entry as the shell does: by verb, or (null) by command
// offset 0.
inline HRESULT Invoke(IContextMenu* menu, LPCSTR verb = nullptr) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = verb;
    info.nShow = SW_HIDE;
    return menu->InvokeCommand(&info);
}

}  // namespace brelltest
