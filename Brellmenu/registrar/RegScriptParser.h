// Reader and walker of one script run: preprocesses the text, reads its
// tokens and applies its root blocks to the registry.
#pragma once

#include <windows.h>

class CRegObject;

// Token buffers hold 4096 units: at most 4094 of text, the terminator and a spare.
constexpr int kTokenBufferSize = 4096;
constexpr int kMaxTokenLength = 4094;
// A variable name between percent signs holds at most 31 characters.
constexpr int kVariableNameBufferSize = 32;
// The registry refuses longer key names (UTF-16 code units, counted after
// variable substitution, as the registry sees them).
constexpr int kMaxKeyNameLength = 255;
// The key name remembered for deletion; every name the walker accepts fits.
constexpr int kKeyNameBufferSize = 260;
// Every nesting level keeps two name buffers on the stack; deeper scripts are
// refused rather than allowed to exhaust the host's stack.
constexpr int kMaxBlockNesting = 32;

class CRegScriptParser {
public:
    explicit CRegScriptParser(CRegObject* registrar) noexcept : m_registrar(registrar) {}

    // Substitutes variables and, in per-user mode, redirects "HKCR" blocks.
    // On success *result is a new text for CoTaskMemFree.
    HRESULT PreprocessScript(LPCWSTR text, wchar_t** result) noexcept;

    HRESULT RunScript(LPCWSTR text, bool doRegister) noexcept;

    // Reading position, for the walker and for tests of the reader.
    void SetPosition(LPCWSTR position) noexcept { m_position = position; }
    LPCWSTR Position() const noexcept { return m_position; }

    HRESULT ReadToken(wchar_t* token) noexcept;
    void SkipSpaces() noexcept;
    HRESULT SkipValueAssignment(wchar_t* token) noexcept;

private:
    HRESULT ProcessKeyBlock(wchar_t* token, HKEY parent, bool doRegister, bool recovery) noexcept;
    HRESULT RegisterEntry(wchar_t* token, HKEY parent, class CRegKeyHandle& current, wchar_t* valueName) noexcept;
    HRESULT UnregisterEntry(wchar_t* token, HKEY parent, class CRegKeyHandle& current, wchar_t* valueName,
                            wchar_t* keyName, bool recovery) noexcept;
    HRESULT WriteValue(HKEY key, LPCWSTR valueName, wchar_t* token) noexcept;

    LPCWSTR m_position = nullptr;
    CRegObject* m_registrar;
    int m_nesting = 0;
};
