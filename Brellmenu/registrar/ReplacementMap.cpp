#include "registrar/ReplacementMap.h"

#include <cwchar>

namespace {

// The process heap: allocation failure is a null pointer, never an exception.
void* Allocate(size_t bytes) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void Free(void* block) noexcept {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

wchar_t* DuplicateString(LPCWSTR text) noexcept {
    const size_t count = wcslen(text) + 1;
    wchar_t* copy = static_cast<wchar_t*>(Allocate(count * sizeof(wchar_t)));
    if (copy) wmemcpy(copy, text, count);
    return copy;
}

// Returns a copy of rows with room for one more, or null.
wchar_t** GrowByOne(wchar_t** rows, int count) noexcept {
    wchar_t** grown = static_cast<wchar_t**>(Allocate((static_cast<size_t>(count) + 1) * sizeof(wchar_t*)));
    if (!grown) return nullptr;
    for (int i = 0; i < count; ++i) grown[i] = rows[i];
    grown[count] = nullptr;
    return grown;
}

}  // namespace

CReplacementMap::~CReplacementMap() {
    Clear();
}

HRESULT CReplacementMap::Add(LPCWSTR name, LPCWSTR value) noexcept {
    if (!name || !value) return E_INVALIDARG;
    if (m_count == 0x7FFFFFFE) return E_OUTOFMEMORY;

    wchar_t* nameCopy = DuplicateString(name);
    wchar_t* valueCopy = DuplicateString(value);
    wchar_t** names = GrowByOne(m_names, m_count);
    wchar_t** values = GrowByOne(m_values, m_count);
    if (!nameCopy || !valueCopy || !names || !values) {
        Free(nameCopy);
        Free(valueCopy);
        Free(names);
        Free(values);
        return E_OUTOFMEMORY;
    }
    names[m_count] = nameCopy;
    values[m_count] = valueCopy;
    Free(m_names);
    Free(m_values);
    m_names = names;
    m_values = values;
    ++m_count;
    return S_OK;
}

void CReplacementMap::Clear() noexcept {
    for (int i = 0; i < m_count; ++i) {
        Free(m_names[i]);
        Free(m_values[i]);
    }
    Free(m_names);
    Free(m_values);
    m_names = nullptr;
    m_values = nullptr;
    m_count = 0;
}

LPCWSTR CReplacementMap::Find(LPCWSTR name) const noexcept {
    if (!name) return nullptr;
    for (int i = 0; i < m_count; ++i) {
        if (lstrcmpiW(m_names[i], name) == 0) return m_values[i];
    }
    return nullptr;
}
