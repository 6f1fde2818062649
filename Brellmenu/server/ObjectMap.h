// The object map (one ObjectMapEntry per creatable class, here only the menu
// class), the class-object map that caches each class's factory, and the
// module instance record whose file name self-registration writes.
#pragma once

#include <windows.h>
#include <objbase.h>

using UpdateRegistryFunc = HRESULT(WINAPI*)(BOOL doRegister);
using CreatorFunc = HRESULT(WINAPI*)(void* context, REFIID iid, void** ppv);
using GetDescriptionFunc = const wchar_t*(WINAPI*)();
using GetCategoryMapFunc = const void*(WINAPI*)();
using ObjectMainFunc = void(WINAPI*)(bool starting);

// One creatable class.
struct ObjectMapEntry {
    const CLSID* pclsid;
    UpdateRegistryFunc pfnUpdateRegistry;
    CreatorFunc pfnGetClassObject;   // called with pfnCreateInstance as context
    CreatorFunc pfnCreateInstance;   // context is the outer object
    IUnknown* pCF;                   // cached class object, one reference
    DWORD dwRegister;
    GetDescriptionFunc pfnGetObjectDescription;
    GetCategoryMapFunc pfnGetCategoryMap;
    ObjectMainFunc pfnObjectMain;
};

// The object map and the lock that serialises the first creation of each
// cached class object.
class CClassObjectMap {
public:
    CClassObjectMap() noexcept;
    ~CClassObjectMap();
    CClassObjectMap(const CClassObjectMap&) = delete;
    CClassObjectMap& operator=(const CClassObjectMap&) = delete;

    // The body of DllGetClassObject.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept;
    void CallObjectMain(bool starting) noexcept;

    ObjectMapEntry* const* begin() const noexcept { return m_ppEntriesFirst; }
    ObjectMapEntry* const* end() const noexcept { return m_ppEntriesLast; }
    HINSTANCE TypeLibInstance() const noexcept { return m_hInstTypeLib; }
    bool IsSetUp() const noexcept { return cbSize != 0; }

private:
    UINT cbSize = 0;
    HINSTANCE m_hInstTypeLib;
    ObjectMapEntry* const* m_ppEntriesFirst;
    ObjectMapEntry* const* m_ppEntriesLast;
    CRITICAL_SECTION m_csObjMap;
};

// The server's instance handles; only the module instance is ever read.
class CModuleInstance {
public:
    CModuleInstance() noexcept;
    ~CModuleInstance();
    CModuleInstance(const CModuleInstance&) = delete;
    CModuleInstance& operator=(const CModuleInstance&) = delete;

    HINSTANCE ModuleInstance() const noexcept { return m_hInst; }

private:
    UINT cbSize;
    HINSTANCE m_hInst;
    HINSTANCE m_hInstResource;
    DWORD dwAtlBuildVer;
    const GUID* pguidVer;
    CRITICAL_SECTION m_csResource;
    bool m_csResourceReady = false;
    // Further resource modules: never filled in this server.
    HINSTANCE* m_resourceModules = nullptr;
    int m_resourceCount = 0;
    int m_resourceCapacity = 0;
};

extern CClassObjectMap g_classObjectMap;
extern CModuleInstance g_moduleInstance;
// Set when a module-level object could not set up its lock; the entry point
// then refuses the load.
extern bool g_initFailed;
