// The object map (one ObjectMapEntry per creatable class), the class-object
// map that caches each class's factory, and the module instance record whose
// file name self-registration writes. The records keep their fields and
// their order: the static_asserts at the end pin their sizes.
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
    DWORD dwRegister;                // kept for the record's shape; never set
    GetDescriptionFunc pfnGetObjectDescription;
    GetCategoryMapFunc pfnGetCategoryMap;
    ObjectMainFunc pfnObjectMain;
};

// What no class of this project has: a description, a component category
// map, work at load and unload.
const wchar_t* WINAPI NoObjectDescription();
const void* WINAPI NoCategoryMap();
void WINAPI NoObjectMain(bool starting);

// An entry for a class with those defaults and no cached factory yet.
constexpr ObjectMapEntry MakeObjectMapEntry(const CLSID* clsid, UpdateRegistryFunc updateRegistry,
                                            CreatorFunc getClassObject, CreatorFunc createInstance) {
    return {clsid, updateRegistry, getClassObject, createInstance, nullptr, 0,
            NoObjectDescription, NoCategoryMap, NoObjectMain};
}

// The object map and the lock that serialises the first creation of each
// cached class object.
class CClassObjectMap {
public:
    // The map walks [first, last); each DLL passes its own table.
    CClassObjectMap(ObjectMapEntry* const* first, ObjectMapEntry* const* last) noexcept;
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
    [[maybe_unused]] UINT cbSize;                // the record's size; never read
    HINSTANCE m_hInst;
    [[maybe_unused]] HINSTANCE m_hInstResource;  // kept for the record's shape; never read
    [[maybe_unused]] DWORD dwAtlBuildVer;        // kept for the record's shape; never read
    [[maybe_unused]] const GUID* pguidVer;       // kept for the record's shape; never read
    CRITICAL_SECTION m_csResource;
    // Further resource modules: never filled in this server.
    HINSTANCE* m_resourceModules = nullptr;
    int m_resourceCount = 0;
    int m_resourceCapacity = 0;
};

// Each DLL defines these with its own table (see ServerObjects.cpp).
extern CClassObjectMap g_classObjectMap;
extern CModuleInstance g_moduleInstance;
// Set when a module-level object could not set up its lock; the entry point
// then refuses the load.
extern bool g_initFailed;

// The records' sizes: the x86 ones are the layout other code may rely on,
// the x64 ones follow from the same fields.
#ifdef _WIN64
static_assert(sizeof(ObjectMapEntry) == 72 && sizeof(CClassObjectMap) == 72 &&
              sizeof(CModuleInstance) == 96, "a server record changed shape");
#else
static_assert(sizeof(ObjectMapEntry) == 36 && sizeof(CClassObjectMap) == 40 &&
              sizeof(CModuleInstance) == 56, "a server record changed shape");
#endif
