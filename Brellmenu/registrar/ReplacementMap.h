// The registrar's replacement variables: an ordered list of name/value rows
// that owns copies of its strings; the first row of a name wins a lookup.
#pragma once

#include <windows.h>

#include "Owners.h"

class CReplacementMap {
public:
    CReplacementMap() noexcept = default;
    ~CReplacementMap();
    CReplacementMap(const CReplacementMap&) = delete;
    CReplacementMap& operator=(const CReplacementMap&) = delete;

    // E_INVALIDARG for a null string, E_OUTOFMEMORY when nothing could be added.
    HRESULT Add(LPCWSTR name, LPCWSTR value) noexcept;
    void Clear() noexcept;
    // Value of the first row whose name equals name case-insensitively, or null.
    LPCWSTR Find(LPCWSTR name) const noexcept;
    int Count() const noexcept { return m_count; }

private:
    // Each row's strings are the map's, freed by Clear.
    brell::UniqueHeapMem<wchar_t*> m_names;
    brell::UniqueHeapMem<wchar_t*> m_values;
    int m_count = 0;
};
