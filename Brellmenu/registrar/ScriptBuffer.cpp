#include "registrar/ScriptBuffer.h"

#include <objbase.h>

#include <cwchar>

HRESULT CScriptBuffer::Init(int inputLength) noexcept {
    if (m_text || inputLength < 0) return E_UNEXPECTED;
    long long capacity = 2LL * inputLength;
    if (capacity < 100) capacity = 1000;
    if (capacity > kMaxCapacity) return E_OUTOFMEMORY;
    m_text.reset(static_cast<wchar_t*>(CoTaskMemAlloc(static_cast<SIZE_T>(capacity) * sizeof(wchar_t))));
    if (!m_text) return E_OUTOFMEMORY;
    m_capacity = static_cast<int>(capacity);
    m_length = 0;
    m_text.get()[0] = L'\0';
    return S_OK;
}

HRESULT CScriptBuffer::Append(const wchar_t* text, int count) noexcept {
    if (!m_text || count < 0) return E_OUTOFMEMORY;
    const long long need = static_cast<long long>(m_length) + count + 1;
    if (need > kMaxCapacity) return E_OUTOFMEMORY;
    if (need >= m_capacity) {
        long long capacity = m_capacity;
        while (capacity <= need) capacity *= 2;
        if (capacity > kMaxCapacity) return E_OUTOFMEMORY;
        void* grown = CoTaskMemRealloc(m_text.get(), static_cast<SIZE_T>(capacity) * sizeof(wchar_t));
        if (!grown) return E_OUTOFMEMORY;
        // The old block now is the new one or freed: let it go unfreed.
        m_text.release();
        m_text.reset(static_cast<wchar_t*>(grown));
        m_capacity = static_cast<int>(capacity);
    }
    wmemcpy(m_text.get() + m_length, text, static_cast<size_t>(count));
    m_length += count;
    m_text.get()[m_length] = L'\0';
    return S_OK;
}

HRESULT CScriptBuffer::AppendString(const wchar_t* text) noexcept {
    const size_t count = wcslen(text);
    if (count > static_cast<size_t>(kMaxCapacity)) return E_OUTOFMEMORY;
    return Append(text, static_cast<int>(count));
}

wchar_t* CScriptBuffer::Detach() noexcept {
    m_length = 0;
    m_capacity = 0;
    return m_text.release();
}
