#include "support/Registry.h"

#include <objbase.h>

#include <cwchar>

namespace brelltest {

namespace {

// An open key, closed when it goes.
class OpenKey {
public:
    OpenKey(HKEY root, const std::wstring& path, REGSAM access)
        : status_(RegOpenKeyExW(root, path.c_str(), 0, access, &key_)) {}
    ~OpenKey() {
        if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    bool ok() const { return status_ == ERROR_SUCCESS; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
    LONG status_;
};

}  // namespace

bool SixtyFourBitWindows() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) { return OpenKey(root, path, KEY_READ | view).ok(); }

bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view) {
    const OpenKey key(root, path, KEY_READ | view);
    return key.ok() && RegQueryValueExW(key.get(), value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool CreateKey(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* value, std::wstring* out, REGSAM view) {
    const OpenKey key(root, path, KEY_READ | view);
    if (!key.ok()) return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &size) !=
        ERROR_SUCCESS)
        return false;
    text.resize(wcslen(text.c_str()));
    if (out) *out = text;
    return true;
}

std::wstring StringValue(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view) {
    std::wstring text;
    return ReadString(root, path, value, &text, view) ? text : L"<missing>";
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* value, DWORD* out, REGSAM view) {
    const OpenKey key(root, path, KEY_READ | view);
    DWORD type = 0, data = 0, size = sizeof(data);
    if (!key.ok() ||
        RegQueryValueExW(key.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    if (out) *out = data;
    return true;
}

LONG WriteValue(HKEY root, const std::wstring& path, const wchar_t* value, DWORD type, const void* data, DWORD size,
                REGSAM view) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, value, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status;
}

LONG WriteString(HKEY root, const std::wstring& path, const wchar_t* value, const std::wstring& data, REGSAM view) {
    return WriteValue(root, path, value, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)),
                      view);
}

LONG WriteDword(HKEY root, const std::wstring& path, const wchar_t* value, DWORD data, REGSAM view) {
    return WriteValue(root, path, value, REG_DWORD, &data, sizeof(data), view);
}

void DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    {
        const OpenKey key(root, path, KEY_ALL_ACCESS | view);
        if (!key.ok()) return;
        RegDeleteTreeW(key.get(), nullptr);
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* value, REGSAM view) {
    const OpenKey key(root, path, KEY_SET_VALUE | view);
    if (key.ok()) RegDeleteValueW(key.get(), value);
}

std::wstring ClassKey(REFCLSID clsid) {
    wchar_t text[40] = L"";
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

LONG RegisterInprocServer(REFCLSID clsid, const std::wstring& dll, const wchar_t* threadingModel) {
    const std::wstring server = ClassKey(clsid) + L"\\InprocServer32";
    const LONG status = WriteString(HKEY_LOCAL_MACHINE, server, nullptr, dll);
    return status != ERROR_SUCCESS ? status : WriteString(HKEY_LOCAL_MACHINE, server, L"ThreadingModel", threadingModel);
}

RegValue DwordValue(uint32_t value) {
    return {REG_DWORD, {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)}};
}

std::optional<RegValues> ReadValues(HKEY root, const std::wstring& path, REGSAM view) {
    const OpenKey key(root, path, KEY_READ | view);
    if (!key.ok()) return std::nullopt;
    RegValues values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 256;
        BYTE data[256];
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        values[name] = RegValue{type, std::vector<BYTE>(data, data + size)};
    }
    return values;
}

ScratchKey::ScratchKey(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) { Reset(); }

ScratchKey::~ScratchKey() {
    Close();
    DeleteTree(root_, path_);
}

void ScratchKey::Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
}

bool ScratchKey::Reset() {
    Close();
    DeleteTree(root_, path_);
    if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS)
        key_ = nullptr;
    return ok();
}

}  // namespace brelltest
