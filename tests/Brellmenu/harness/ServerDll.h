// The server under test loaded the way a client loads it, fresh copies of it,
// and the shell's ID lists of the folders it is given.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace brelltest {

// The server's exports, reached through LoadLibraryW and GetProcAddress.
struct ServerDll {
    HMODULE module = nullptr;
    HRESULT(WINAPI* DllCanUnloadNow)() = nullptr;
    HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* DllInstall)(BOOL, LPCWSTR) = nullptr;
    HRESULT(WINAPI* DllRegisterServer)() = nullptr;
    HRESULT(WINAPI* DllUnregisterServer)() = nullptr;

    explicit ServerDll(const std::wstring& path);
    ~ServerDll();
    ServerDll(const ServerDll&) = delete;
    ServerDll& operator=(const ServerDll&) = delete;
    // The two exports every in-process server has, and the three of
    // self-registration.
    bool ok() const;
    bool ServesClasses() const { return module && DllCanUnloadNow && DllGetClassObject; }
};

// A fresh copy of Brellmenu.dll in folder (created), so its module state
// starts from load; empty when it could not be made.
std::wstring CopyServer(const std::wstring& folder);

// The absolute ID list of a file-system folder, or null.
PIDLIST_ABSOLUTE FolderPidl(const std::wstring& path);

}  // namespace brelltest
