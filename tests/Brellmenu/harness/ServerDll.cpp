#include "harness/ServerDll.h"

#include "support/Files.h"
#include "support/Folders.h"

namespace brelltest {

namespace {

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

ServerDll::ServerDll(const std::wstring& path) : module(LoadLibraryW(path.c_str())) {
    if (!module) return;
    DllCanUnloadNow = Export<decltype(DllCanUnloadNow)>(module, "DllCanUnloadNow");
    DllGetClassObject = Export<decltype(DllGetClassObject)>(module, "DllGetClassObject");
    DllInstall = Export<decltype(DllInstall)>(module, "DllInstall");
    DllRegisterServer = Export<decltype(DllRegisterServer)>(module, "DllRegisterServer");
    DllUnregisterServer = Export<decltype(DllUnregisterServer)>(module, "DllUnregisterServer");
}

ServerDll::~ServerDll() {
    if (module) FreeLibrary(module);
}

bool ServerDll::ok() const {
    return module && DllCanUnloadNow && DllGetClassObject && DllInstall && DllRegisterServer && DllUnregisterServer;
}

std::wstring CopyServer(const std::wstring& folder) {
    MakeFolders(folder);
    const std::wstring target = folder + L"\\Brellmenu.dll";
    if (!CopyFileW(BinPath(L"Brellmenu.dll").c_str(), target.c_str(), FALSE)) return {};
    return target;
}

PIDLIST_ABSOLUTE FolderPidl(const std::wstring& path) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &pidl, 0, nullptr))) return nullptr;
    return pidl;
}

}  // namespace brelltest
