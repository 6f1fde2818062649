// The growing UTF-16 output of the preprocessing pass, allocated with the COM
// task allocator so that the text can be handed over to the caller.
#pragma once

#include <windows.h>

#include "Owners.h"

class CScriptBuffer {
public:
    CScriptBuffer() noexcept = default;
    CScriptBuffer(const CScriptBuffer&) = delete;
    CScriptBuffer& operator=(const CScriptBuffer&) = delete;

    // Capacity twice the input length, 1000 characters when that is below 100.
    HRESULT Init(int inputLength) noexcept;
    // Appends count units and keeps the text terminated; E_OUTOFMEMORY when
    // the buffer cannot grow (the limit is 0x3FFFFFFF characters).
    HRESULT Append(const wchar_t* text, int count) noexcept;
    HRESULT AppendChar(wchar_t ch) noexcept { return Append(&ch, 1); }
    HRESULT AppendString(const wchar_t* text) noexcept;

    // Hands the text over; the caller frees it with CoTaskMemFree.
    wchar_t* Detach() noexcept;
    int Length() const noexcept { return m_length; }
    int Capacity() const noexcept { return m_capacity; }
    const wchar_t* Text() const noexcept { return m_text.get(); }

    static constexpr int kMaxCapacity = 0x3FFFFFFF;

private:
    int m_length = 0;
    int m_capacity = 0;
    brell::UniqueCoTaskMem<wchar_t> m_text;
};
