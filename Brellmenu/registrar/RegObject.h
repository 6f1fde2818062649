// The registrar: holds the replacement variables of one script run and runs
// registry scripts, from a module's "REGISTRY" resource or from text.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "registrar/ReplacementMap.h"

struct IRegistrarBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
};

// Lives on the stack of one registration step; not a COM object anybody may
// hold: QueryInterface refuses, AddRef and Release count nothing.
class CRegObject : public IRegistrarBase {
public:
    CRegObject() noexcept;
    virtual ~CRegObject();
    CRegObject(const CRegObject&) = delete;
    CRegObject& operator=(const CRegObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) override;
    HRESULT STDMETHODCALLTYPE ClearVariables() override;

    // Runs the "REGISTRY" resource resourceId of the module file.
    HRESULT RunResourceScript(LPCOLESTR moduleFileName, UINT resourceId, BOOL doRegister) noexcept;
    // Runs script text (variables substituted, per-user redirection applied).
    HRESULT RunScript(LPCOLESTR scriptText, BOOL doRegister) noexcept;
    // Decodes 8-bit script text in the thread's ANSI code page, as a resource
    // is decoded, and runs it.
    HRESULT RunScriptBytes(const char* bytes, DWORD count, BOOL doRegister) noexcept;

    // Value of the first variable of that name (case-insensitive), or null.
    LPCOLESTR FindReplacement(LPCOLESTR name) const noexcept;

private:
    CReplacementMap m_replacements;
};
