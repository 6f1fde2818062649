// The server's module object: the lock count that DllCanUnloadNow reads, the
// process-wide global interface table, and the replacements every registry
// script receives. g_pModule reaches the one instance.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <objidl.h>

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

    static GUID m_libid;

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
    CAtlDllModuleT() noexcept;
    ~CAtlDllModuleT() override;
};

class CBrellmenuModule final : public CAtlDllModuleT<CBrellmenuModule> {
public:
    static void InitLibId() noexcept;
    HRESULT AddCommonReplacements(IRegistrarBase* registrar) noexcept override;
};

// Points to the one module object from the moment its constructor runs.
extern CAtlModule* g_pModule;
