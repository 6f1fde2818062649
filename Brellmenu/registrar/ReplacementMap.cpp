#include "registrar/ReplacementMap.h"

#include <cwchar>
#include <utility>

namespace {

using HeapString = brell::UniqueHeapMem<wchar_t>;
using HeapRows = brell::UniqueHeapMem<wchar_t*>;

// The process heap: allocation failure is a null pointer, never an exception.
void* Allocate(size_t bytes) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, bytes);
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

    HeapString nameCopy(DuplicateString(name));
    HeapString valueCopy(DuplicateString(value));
    HeapRows names(GrowByOne(m_names.get(), m_count));
    HeapRows values(GrowByOne(m_values.get(), m_count));
    if (!nameCopy || !valueCopy || !names || !values) return E_OUTOFMEMORY;
    names.get()[m_count] = nameCopy.release();
    values.get()[m_count] = valueCopy.release();
    m_names = std::move(names);
    m_values = std::move(values);
    ++m_count;
    return S_OK;
}

void CReplacementMap::Clear() noexcept {
    for (int i = 0; i < m_count; ++i) {
        brell::FreeProcessHeap(m_names.get()[i]);
        brell::FreeProcessHeap(m_values.get()[i]);
    }
    m_names.reset();
    m_values.reset();
    m_count = 0;
}

LPCWSTR CReplacementMap::Find(LPCWSTR name) const noexcept {
    if (!name) return nullptr;
    for (int i = 0; i < m_count; ++i) {
        if (lstrcmpiW(m_names.get()[i], name) == 0) return m_values.get()[i];
    }
    return nullptr;
}
