#include "registrar/RegObject.h"

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

// Nothing below these entry points throws: allocation failures come back as
// HRESULTs, so no exception can reach a caller.
HRESULT STDMETHODCALLTYPE CRegObject::AddVariable(LPCOLESTR name, LPCOLESTR value) {
    return m_replacements.Add(name, value);
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearVariables() {
    m_replacements.Clear();
    return S_OK;
}

LPCOLESTR CRegObject::FindReplacement(LPCOLESTR name) const noexcept {
    return m_replacements.Find(name);
}

HRESULT CRegObject::RunScript(LPCOLESTR scriptText, BOOL doRegister) noexcept {
    CRegScriptParser parser(this);
    return parser.RunScript(scriptText, doRegister != FALSE);
}
