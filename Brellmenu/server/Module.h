// The module object of an in-process server: the lock count that
// DllCanUnloadNow reads, the process-wide global interface table, and the
// replacements every registry script receives. g_pModule reaches the one
// instance; each DLL defines its own module class on top of CAtlDllModuleT.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <objidl.h>

#include "server/ObjectMap.h"

struct IRegistrarBase;

// One pending (function, argument) call of module termination.
struct TermFuncEntry {
    void(WINAPI* function)(DWORD_PTR argument);
    DWORD_PTR argument;
    TermFuncEntry* next;
};

// The module's plain data, in the order other code may rely on.
struct _ATL_MODULE70 {
    UINT cbSize;          // 0 until the static-data lock is set up, 0 again after Term
    LONG m_nLockCnt;      // changed only with Interlocked*
    TermFuncEntry* m_pTermFuncs;
    CRITICAL_SECTION m_csStaticDataInitAndTypeInfo;
};
#ifdef _WIN64
static_assert(sizeof(_ATL_MODULE70) == 56, "the module's record changed shape");
#else
static_assert(sizeof(_ATL_MODULE70) == 36, "the module's record changed shape");
#endif

// Lock count, global interface table and termination of the module.
class CAtlModule : public _ATL_MODULE70 {
public:
    CAtlModule() noexcept;
    virtual ~CAtlModule();
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual LONG IncrementLock() noexcept;
    virtual LONG DecrementLock() noexcept;
    virtual LONG LockCount() noexcept;
    virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept;
    virtual HRESULT AddCommonReplacements(IRegistrarBase* registrar) noexcept = 0;

    // Runs and frees the termination list, releases the interface table and
    // removes the static-data lock; harmless when never set up.
    void Term() noexcept;

    static GUID m_libid;  // the type library's id; kept for the module's shape, never read

protected:
    IGlobalInterfaceTable* m_pGIT = nullptr;
};

// Stores the type library's id that the concrete module names.
template <class T>
class CAtlModuleT : public CAtlModule {
public:
    CAtlModuleT() noexcept { T::InitLibId(); }
};

// A module that lives in a DLL: object-main of every class at load and unload.
template <class T>
class CAtlDllModuleT : public CAtlModuleT<T> {
public:
    CAtlDllModuleT() noexcept { g_classObjectMap.CallObjectMain(true); }
    ~CAtlDllModuleT() override { g_classObjectMap.CallObjectMain(false); }
};

// Points to the one module object from the moment its constructor runs.
extern CAtlModule* g_pModule;
