// Registry keys and values as the tests set them up, read them back and
// clear them. view is 0 (the program's own), KEY_WOW64_32KEY or
// KEY_WOW64_64KEY; a key is root\path.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brelltest {

// Whether this Windows has two registry views (64-bit Windows, whatever
// this program's bitness).
bool SixtyFourBitWindows();

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view = 0);
bool CreateKey(HKEY root, const std::wstring& path, REGSAM view = 0);

// A REG_SZ value into out (may be null); false when absent or of another type.
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* value, std::wstring* out, REGSAM view = 0);
// The same, or "<missing>".
std::wstring StringValue(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view = 0);
bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* value, DWORD* out, REGSAM view = 0);

// Writes a value, creating the key; the registry's status.
LONG WriteValue(HKEY root, const std::wstring& path, const wchar_t* value, DWORD type, const void* data, DWORD size,
                REGSAM view = 0);
LONG WriteString(HKEY root, const std::wstring& path, const wchar_t* value, const std::wstring& data,
                 REGSAM view = 0);
LONG WriteDword(HKEY root, const std::wstring& path, const wchar_t* value, DWORD data, REGSAM view = 0);

// Removes the key with all below it; best effort: it may be gone already.
void DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0);
void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view = 0);

// A class's key where COM finds it machine-wide (HKLM\Software\Classes\CLSID\{...}),
// and an in-process server registered there (Wine's COM reads no per-user
// classes).
std::wstring ClassKey(REFCLSID clsid);
LONG RegisterInprocServer(REFCLSID clsid, const std::wstring& dll, const wchar_t* threadingModel);

// A value as the registry holds it, for comparing whole keys.
struct RegValue {
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const RegValue& other) const { return type == other.type && data == other.data; }
};
RegValue DwordValue(uint32_t value);
using RegValues = std::map<std::wstring, RegValue>;
// Every value of the key by name; nullopt when the key does not exist.
std::optional<RegValues> ReadValues(HKEY root, const std::wstring& path, REGSAM view = 0);

// A private key, made empty when constructed (or Reset) and removed with all
// below it when it goes.
class ScratchKey {
public:
    ScratchKey(HKEY root, std::wstring path);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    bool Reset();
    bool ok() const { return key_ != nullptr; }
    HKEY handle() const { return key_; }
    const std::wstring& path() const { return path_; }
    // A key below it ("" for itself).
    std::wstring Path(const std::wstring& sub) const { return sub.empty() ? path_ : path_ + L"\\" + sub; }

private:
    void Close();
    HKEY root_;
    std::wstring path_;
    HKEY key_ = nullptr;
};

}  // namespace brelltest
