// The walker: runs root blocks in register or unregister mode, with the
// rollback of a failing root block and the recovery walk of absent keys.
#include "registrar/RegScriptParser.h"

#include <cwchar>

#include "registrar/KeyTree.h"
#include "registrar/RegKeyHandle.h"
#include "registrar/Tables.h"
#include "server/Errors.h"
#include "Owners.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// A key name names exactly one level below its parent. An empty name would
// name the parent itself, which a removal would then take away whole. A name
// the registry refuses as too long is refused here too, so that the reading
// pass finds it: found only by the registry, it fails a registration halfway,
// and the rollback then fails on the same name before it reaches the keys
// above it.
bool IsBadKeyName(LPCWSTR name) noexcept {
    return name[0] == L'\0' || wcsnlen(name, kMaxKeyNameLength + 1) > static_cast<size_t>(kMaxKeyNameLength) ||
           wcschr(name, L'\\') != nullptr;
}

bool IsOpeningBrace(LPCWSTR token) noexcept {
    return token[0] == L'{' && token[1] == L'\0';
}

// Counts one level of block nesting for as long as the block is walked.
class NestingLevel {
public:
    explicit NestingLevel(int& nesting) noexcept : m_nesting(nesting) { ++m_nesting; }
    ~NestingLevel() { --m_nesting; }
    NestingLevel(const NestingLevel&) = delete;
    NestingLevel& operator=(const NestingLevel&) = delete;

private:
    int& m_nesting;
};

}  // namespace

HRESULT CRegScriptParser::RunScript(LPCWSTR text, bool doRegister) noexcept {
    brell::UniqueCoTaskMemString script;
    HRESULT hr = PreprocessScript(text, script.put());
    if (FAILED(hr)) return hr;

    wchar_t token[kTokenBufferSize];
    m_position = script.get();
    m_nesting = 0;
    while (*m_position != L'\0') {
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
        HKEY root = LookupRootKey(token);
        if (!root) return DISP_E_EXCEPTION;
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
        if (token[0] != L'{') return DISP_E_EXCEPTION;

        if (doRegister) {
            LPCWSTR blockStart = m_position;
            // Read the block once without touching the registry: a block that
            // cannot be read to its end could not be taken back either, and
            // would leave whatever it had written so far.
            hr = ProcessKeyBlock(token, root, false, true);
            if (FAILED(hr)) return hr;
            m_position = blockStart;
            hr = ProcessKeyBlock(token, root, true, false);
            if (FAILED(hr)) {
                // take back what this root block wrote; earlier blocks stay
                m_position = blockStart;
                ProcessKeyBlock(token, root, false, false);
                return hr;
            }
        } else {
            hr = ProcessKeyBlock(token, root, false, false);
            if (FAILED(hr)) return hr;
        }
        SkipSpaces();
    }
    return S_OK;
}

HRESULT CRegScriptParser::ProcessKeyBlock(wchar_t* token, HKEY parent, bool doRegister, bool recovery) noexcept {
    if (m_nesting >= kMaxBlockNesting) return DISP_E_EXCEPTION;
    NestingLevel level(m_nesting);

    wchar_t valueName[kTokenBufferSize];
    wchar_t keyName[kKeyNameBufferSize];
    CRegKeyHandle current;

    HRESULT hr = ReadToken(token);
    if (FAILED(hr)) return hr;
    while (token[0] != L'}') {
        hr = doRegister ? RegisterEntry(token, parent, current, valueName)
                        : UnregisterEntry(token, parent, current, valueName, keyName, recovery);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CRegScriptParser::RegisterEntry(wchar_t* token, HKEY parent, CRegKeyHandle& current,
                                        wchar_t* valueName) noexcept {
    HRESULT hr;
    if (IsForceRemoveKeyword(token) || IsDeleteKeyword(token)) {
        const bool deleteOnly = IsDeleteKeyword(token);
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
        if (IsBadKeyName(token)) return DISP_E_EXCEPTION;
        // an absent key is no error, so the status does not matter
        if (!IsProtectedKeyName(token)) DeleteKeyTree(parent, 0, token);
        if (deleteOnly) {
            hr = ReadToken(token);
            if (FAILED(hr)) return hr;
            hr = SkipValueAssignment(token);
            if (FAILED(hr)) return hr;
            // no key was created that a block could belong to
            if (IsOpeningBrace(token)) return DISP_E_EXCEPTION;
            return S_OK;
        }
    }
    if (IsNoRemoveKeyword(token)) {
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
    }
    if (IsValKeyword(token)) {
        hr = ReadToken(valueName);
        if (FAILED(hr)) return hr;
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
        if (token[0] != L'=') return DISP_E_EXCEPTION;
        hr = WriteValue(parent, valueName, token);
        if (FAILED(hr)) return hr;
        // a value has no subkeys
        if (IsOpeningBrace(token)) return DISP_E_EXCEPTION;
        return S_OK;
    }

    if (IsBadKeyName(token)) return DISP_E_EXCEPTION;
    LONG status = current.Open(parent, token, kReadWrite);
    // an absent key would not open for reading either: go straight to creating it
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) status = current.Open(parent, token, KEY_READ);
    if (status != ERROR_SUCCESS) {
        HKEY created = nullptr;
        status = RegCreateKeyExW(parent, token, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                                 &created, nullptr);
        if (status != ERROR_SUCCESS) return HResultFromWin32(status);
        current.Attach(created);
    }

    hr = ReadToken(token);
    if (FAILED(hr)) return hr;
    if (token[0] == L'=') {
        hr = WriteValue(current.Get(), nullptr, token);
        if (FAILED(hr)) return hr;
    }
    if (IsOpeningBrace(token)) {
        hr = ProcessKeyBlock(token, current.Get(), true, false);
        if (FAILED(hr)) return hr;
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CRegScriptParser::UnregisterEntry(wchar_t* token, HKEY parent, CRegKeyHandle& current, wchar_t* valueName,
                                          wchar_t* keyName, bool recovery) noexcept {
    HRESULT hr;
    bool removable = true;
    bool deleteEntry = false;
    if (IsForceRemoveKeyword(token) || IsDeleteKeyword(token)) {
        deleteEntry = IsDeleteKeyword(token);
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
    }
    // After "Delete" the token is a key name even when it spells a keyword,
    // as registration read it.
    if (!deleteEntry && IsNoRemoveKeyword(token)) {
        removable = false;
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
    }
    if (!deleteEntry && IsValKeyword(token)) {
        hr = ReadToken(valueName);
        if (FAILED(hr)) return hr;
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
        if (token[0] != L'=') return DISP_E_EXCEPTION;
        if (!recovery && removable) {
            CRegKeyHandle writable;
            LONG status = writable.Open(parent, nullptr, KEY_WRITE);
            if (status != ERROR_SUCCESS) return HResultFromWin32(status);
            status = RegDeleteValueW(writable.Get(), valueName);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HResultFromWin32(status);
        }
        hr = SkipValueAssignment(token);
        if (FAILED(hr)) return hr;
        if (IsOpeningBrace(token)) return DISP_E_EXCEPTION;
        return S_OK;
    }

    if (IsBadKeyName(token)) return DISP_E_EXCEPTION;
    LONG openStatus = ERROR_FILE_NOT_FOUND;
    if (!recovery) openStatus = current.Open(parent, token, KEY_READ);
    // a key that is absent or cannot be opened only has its block read past
    const bool nestedRecovery = openStatus != ERROR_SUCCESS;

    lstrcpynW(keyName, token, kKeyNameBufferSize);
    hr = ReadToken(token);
    if (FAILED(hr)) return hr;
    hr = SkipValueAssignment(token);
    if (FAILED(hr)) return hr;
    // registration creates no key for a "Delete" entry, so it has no block
    if (deleteEntry && IsOpeningBrace(token)) return DISP_E_EXCEPTION;
    if (IsOpeningBrace(token)) {
        // A failing recovery walk is still returned: it can only fail on the
        // text itself, and reading on from an unknown point inside the block
        // would take its entries for entries of this one.
        hr = ProcessKeyBlock(token, current.Get(), false, nestedRecovery);
        if (FAILED(hr)) return hr;
        hr = ReadToken(token);
        if (FAILED(hr)) return hr;
    }

    if (openStatus == ERROR_FILE_NOT_FOUND) return S_OK;
    if (openStatus != ERROR_SUCCESS) return HResultFromWin32(openStatus);

    const bool hasSubkeys = KeyHasSubkeys(current.Get());
    const LONG closeStatus = current.Close();
    if (closeStatus != ERROR_SUCCESS) return HResultFromWin32(closeStatus);
    if (removable && !hasSubkeys) {
        const LONG status = RegDeleteKeyW(parent, keyName);
        if (status != ERROR_SUCCESS) return HResultFromWin32(status);
    }
    return S_OK;
}
