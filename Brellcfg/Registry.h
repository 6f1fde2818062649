// The registry accessor of one load or save: a root key, the access mask
// that every open asks for, and the one key it has open (closed on
// destruction, so a failing operation never leaks the handle).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace brell {

class TRegistry {
public:
    TRegistry(HKEY root, REGSAM access) noexcept : root_(root), access_(access) {}
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const noexcept { return root_; }
    REGSAM Access() const noexcept { return access_; }
    HKEY CurrentKey() const noexcept { return key_; }

    // Opens, or creates with its missing parents, the key at path. A leading
    // backslash marks a path from the root and is dropped; the rest goes to
    // the registry as it is. Returns the registry's status code.
    LONG OpenKey(const std::wstring& path);
    void CloseKey() noexcept;

    // Whether the open key has a value of this name, of any type or size.
    bool ValueExists(const wchar_t* name) const;
    // A REG_DWORD of at most four bytes, zero-extended when shorter. Raises
    // "Failed to get data for '<name>'" when the value cannot be read into
    // four bytes and "Invalid data type for '<name>'" when it is not a DWORD.
    int32_t ReadInteger(const wchar_t* name) const;
    // Raises "Failed to set data for '<name>'" when the write fails.
    void WriteInteger(const wchar_t* name, int32_t value) const;

private:
    HKEY root_;
    REGSAM access_;
    HKEY key_ = nullptr;
};

// The system's text for a Win32 error code, without the trailing line break.
std::wstring SystemErrorMessage(DWORD code);

}  // namespace brell
