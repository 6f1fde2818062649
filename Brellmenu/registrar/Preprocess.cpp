// The preprocessing pass: variable substitution and per-user redirection.
#include "registrar/RegScriptParser.h"

#include <objbase.h>

#include <cwchar>

#include "registrar/CharStep.h"
#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"
#include "registrar/ScriptBuffer.h"

namespace {

// What replaces "HKCR" in per-user mode, and what closes the two inserted
// levels again after the block's closing brace.
const wchar_t kRedirectOpen[] = L"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
const wchar_t kRedirectClose[] = L"\r\n\t}\r\n}\r\n";

}  // namespace

HRESULT CRegScriptParser::PreprocessScript(LPCWSTR text, wchar_t** result) noexcept {
    if (!text || !result) return E_POINTER;
    *result = nullptr;

    const size_t inputLength = wcslen(text);
    if (inputLength > static_cast<size_t>(CScriptBuffer::kMaxCapacity)) return E_OUTOFMEMORY;
    CScriptBuffer out;
    HRESULT hr = out.Init(static_cast<int>(inputLength));
    if (FAILED(hr)) return hr;

    m_position = text;
    const bool perUser = g_perUserRegistration;
    int depth = 0;
    bool inQuotes = false;
    bool redirecting = false;

    while (*m_position != L'\0') {
        if (perUser) {
            bool countBraces = true;
            if (depth == 0 && wcsncmp(m_position, L"HKCR", 4) == 0) {
                m_position += 4;
                hr = out.AppendString(kRedirectOpen);
                if (FAILED(hr)) return hr;
                redirecting = true;
                if (*m_position == L'\0') break;
            }
            if (*m_position == L'\'') {
                if (!inQuotes) {
                    inQuotes = true;
                    countBraces = false;
                } else if (m_position[1] != L'\'') {
                    inQuotes = false;
                } else {
                    // a doubled quote inside quotes: both halves pass through
                    ++m_position;
                    hr = out.AppendChar(L'\'');
                    if (FAILED(hr)) return hr;
                    countBraces = false;
                }
            } else if (inQuotes) {
                countBraces = false;
            }
            if (countBraces) {
                if (*m_position == L'{') {
                    ++depth;
                } else if (*m_position == L'}') {
                    --depth;
                    if (depth == 0 && redirecting) {
                        hr = out.AppendString(kRedirectClose);
                        if (FAILED(hr)) return hr;
                        redirecting = false;
                    }
                }
            }
        }

        if (*m_position == L'%') {
            ++m_position;
            if (*m_position == L'%') {
                hr = out.AppendChar(L'%');
                if (FAILED(hr)) return hr;
            } else {
                LPCWSTR end = wcschr(m_position, L'%');
                if (!end) return DISP_E_EXCEPTION;
                const long long nameLength = end - m_position;
                if (nameLength > kVariableNameBufferSize - 1) return E_FAIL;
                wchar_t name[kVariableNameBufferSize];
                wmemcpy(name, m_position, static_cast<size_t>(nameLength));
                name[nameLength] = L'\0';
                LPCWSTR value = m_registrar ? m_registrar->FindReplacement(name) : nullptr;
                if (!value) return DISP_E_EXCEPTION;
                hr = out.AppendString(value);
                if (FAILED(hr)) return hr;
                m_position = end;
            }
            ++m_position;
            continue;
        }

        LPCWSTR next = NextCharStep(m_position);
        const long long units = next - m_position;
        hr = out.Append(m_position, static_cast<int>(units));
        if (FAILED(hr)) return hr;
        m_position = next;
    }

    *result = out.Detach();
    return S_OK;
}
