#include "registrar/RegObject.h"

#include <new>

#include "registrar/RegScriptParser.h"
#include "server/Errors.h"

CRegObject::CRegObject() noexcept = default;

CRegObject::~CRegObject() = default;

HRESULT STDMETHODCALLTYPE CRegObject::QueryInterface(REFIID, void**) {
    return E_NOTIMPL;
}

ULONG STDMETHODCALLTYPE CRegObject::AddRef() {
    return 1;
}

ULONG STDMETHODCALLTYPE CRegObject::Release() {
    return 0;
}

HRESULT STDMETHODCALLTYPE CRegObject::AddVariable(LPCOLESTR name, LPCOLESTR value) {
    try {
        return m_replacements.Add(name, value);
    } catch (const CAtlException& e) {
        return e.m_hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearVariables() {
    m_replacements.Clear();
    return S_OK;
}

LPCOLESTR CRegObject::FindReplacement(LPCOLESTR name) const noexcept {
    return m_replacements.Find(name);
}

HRESULT CRegObject::RunScript(LPCOLESTR scriptText, BOOL doRegister) noexcept {
    try {
        CRegScriptParser parser(this);
        return parser.RunScript(scriptText, doRegister != FALSE);
    } catch (const CAtlException& e) {
        return e.m_hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
