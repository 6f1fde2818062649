// The token reader: quoted and plain tokens, blanks, assignments.
#include "registrar/RegScriptParser.h"

#include "registrar/CharStep.h"

namespace {

bool IsBlank(wchar_t ch) noexcept {
    return ch == L'\t' || ch == L'\n' || ch == L'\r' || ch == L' ';
}

// Copies one CharNextW step from *position into token at *length.
bool CopyStep(LPCWSTR* position, wchar_t* token, int* length) noexcept {
    LPCWSTR next = NextCharStep(*position);
    const long long units = next - *position;
    if (*length + units > kMaxTokenLength) return false;
    for (LPCWSTR p = *position; p < next; ++p) token[(*length)++] = *p;
    *position = next;
    return true;
}

}  // namespace

void CRegScriptParser::SkipSpaces() noexcept {
    while (IsBlank(*m_position)) ++m_position;
}

HRESULT CRegScriptParser::ReadToken(wchar_t* token) noexcept {
    SkipSpaces();
    if (*m_position == L'\0') return DISP_E_EXCEPTION;

    int length = 0;
    if (*m_position == L'\'') {
        ++m_position;
        while (*m_position != L'\0') {
            if (*m_position == L'\'') {
                if (m_position[1] != L'\'') break;
                // a doubled quote stands for one: skip the first, copy the second
                ++m_position;
            }
            if (!CopyStep(&m_position, token, &length)) return DISP_E_EXCEPTION;
        }
        if (*m_position == L'\0') return DISP_E_EXCEPTION;
        token[length] = L'\0';
        ++m_position;
        return S_OK;
    }

    while (*m_position != L'\0' && !IsBlank(*m_position)) {
        if (!CopyStep(&m_position, token, &length)) return DISP_E_EXCEPTION;
    }
    token[length] = L'\0';
    return S_OK;
}

HRESULT CRegScriptParser::SkipValueAssignment(wchar_t* token) noexcept {
    if (token[0] != L'=') return S_OK;
    HRESULT hr = ReadToken(token);
    if (FAILED(hr)) return hr;
    SkipSpaces();
    wchar_t value[kTokenBufferSize];
    hr = ReadToken(value);
    if (FAILED(hr)) return hr;
    return ReadToken(token);
}
