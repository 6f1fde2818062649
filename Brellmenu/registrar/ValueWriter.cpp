// Conversion of S, D, B and M value tokens and their write to the registry.
#include "registrar/RegScriptParser.h"

#include <oleauto.h>

#include <cwchar>

#include "registrar/Tables.h"
#include "server/Errors.h"
#include "Owners.h"

namespace {

// B and M values up to this many bytes are converted without the heap.
constexpr size_t kFrameBufferBytes = 256;

// A byte buffer in the caller's frame when small enough, else on the heap.
class ConversionBuffer {
public:
    BYTE* Reserve(size_t bytes) noexcept {
        if (bytes <= kFrameBufferBytes) return m_frame;
        m_heap.reset(static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, bytes)));
        return m_heap.get();
    }

private:
    alignas(wchar_t) BYTE m_frame[kFrameBufferBytes];
    brell::UniqueHeapMem<BYTE> m_heap;
};

BYTE HexDigitValue(wchar_t ch) noexcept {
    if (ch >= L'0' && ch <= L'9') return static_cast<BYTE>(ch - L'0');
    if (ch >= L'A' && ch <= L'F') return static_cast<BYTE>(ch - L'A' + 10);
    if (ch >= L'a' && ch <= L'f') return static_cast<BYTE>(ch - L'a' + 10);
    return 0;
}

LONG SetValue(HKEY key, LPCWSTR name, DWORD type, const void* data, size_t bytes) noexcept {
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
}

HRESULT WriteString(HKEY key, LPCWSTR name, LPCWSTR text) noexcept {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    return HResultFromWin32(SetValue(key, name, REG_SZ, text, bytes));
}

HRESULT WriteNumber(HKEY key, LPCWSTR name, LPCWSTR text) noexcept {
    ULONG number = 0;
    // a text that is not a number is refused: no value is better than a guessed one
    const HRESULT hr = VarUI4FromStr(const_cast<LPOLESTR>(text), 0, 0, &number);
    if (FAILED(hr)) return hr;
    const BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                          static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return HResultFromWin32(SetValue(key, name, REG_DWORD, data, sizeof(data)));
}

HRESULT WriteBinary(HKEY key, LPCWSTR name, LPCWSTR text) noexcept {
    const size_t length = wcslen(text);
    if (length % 2 != 0) return E_FAIL;
    const size_t bytes = length / 2;
    ConversionBuffer buffer;
    BYTE* data = buffer.Reserve(bytes);
    if (!data) return E_FAIL;
    // Two digits a byte, the high one first.
    for (size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<BYTE>(HexDigitValue(text[2 * i]) << 4 | HexDigitValue(text[2 * i + 1]));
    return HResultFromWin32(SetValue(key, name, REG_BINARY, data, bytes));
}

HRESULT WriteMultiString(HKEY key, LPCWSTR name, LPCWSTR text) noexcept {
    const size_t length = wcslen(text);
    ConversionBuffer buffer;
    wchar_t* strings = reinterpret_cast<wchar_t*>(buffer.Reserve((length + 2) * sizeof(wchar_t)));
    if (!strings) return HResultFromWin32(ERROR_OUTOFMEMORY);

    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'\\' && text[i + 1] == L'0') {
            strings[out++] = L'\0';
            ++i;
        } else {
            strings[out++] = text[i];
        }
    }
    strings[out++] = L'\0';
    strings[out++] = L'\0';

    // The value ends with the first empty string, whatever follows it.
    size_t units = 0;
    for (;;) {
        const size_t stringLength = wcslen(strings + units);
        units += stringLength + 1;
        if (stringLength == 0) break;
    }
    return HResultFromWin32(SetValue(key, name, REG_MULTI_SZ, strings, units * sizeof(wchar_t)));
}

}  // namespace

HRESULT CRegScriptParser::WriteValue(HKEY key, LPCWSTR valueName, wchar_t* token) noexcept {
    wchar_t text[kTokenBufferSize];
    HRESULT hr = ReadToken(text);
    if (FAILED(hr)) return hr;
    DWORD type = 0;
    if (!LookupValueType(text, &type)) return DISP_E_EXCEPTION;
    SkipSpaces();
    hr = ReadToken(text);
    if (FAILED(hr)) return hr;

    switch (type) {
    case REG_SZ:
        hr = WriteString(key, valueName, text);
        break;
    case REG_DWORD:
        hr = WriteNumber(key, valueName, text);
        break;
    case REG_BINARY:
        hr = WriteBinary(key, valueName, text);
        break;
    default:
        hr = WriteMultiString(key, valueName, text);
        break;
    }
    if (FAILED(hr)) return hr;
    return ReadToken(token);
}
