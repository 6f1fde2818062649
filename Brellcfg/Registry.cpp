#include "Registry.h"

#include "Exception.h"
#include "StrToInt.h"

namespace brell {

LONG TRegistry::OpenKey(const std::wstring& path) {
    CloseKey();
    const wchar_t* relative = path.c_str();
    if (*relative == L'\\') ++relative;
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG status = RegCreateKeyExW(root_, relative, 0, nullptr, REG_OPTION_NON_VOLATILE, access_,
                                        nullptr, &key, &disposition);
    if (status == ERROR_SUCCESS) key_ = key;
    return status;
}

void TRegistry::CloseKey() noexcept {
    if (key_) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}

bool TRegistry::ValueExists(const wchar_t* name) const {
    return RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

int32_t TRegistry::ReadInteger(const wchar_t* name) const {
    // Zeroed first: a DWORD stored with fewer than four bytes reads as its
    // bytes zero-extended, never as leftovers of the stack.
    BYTE data[4] = {};
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key_, name, nullptr, &type, data, &size) != ERROR_SUCCESS)
        throw Exception(std::wstring(L"Failed to get data for '") + name + L"'");
    if (type != REG_DWORD) throw Exception(std::wstring(L"Invalid data type for '") + name + L"'");
    const uint32_t bits = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                          static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    return static_cast<int32_t>(bits);
}

void TRegistry::WriteInteger(const wchar_t* name, int32_t value) const {
    const uint32_t bits = static_cast<uint32_t>(value);
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8), static_cast<BYTE>(bits >> 16),
                          static_cast<BYTE>(bits >> 24)};
    if (RegSetValueExW(key_, name, 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS)
        throw Exception(std::wstring(L"Failed to set data for '") + name + L"'");
}

std::wstring SystemErrorMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"error " + IntToStr(code);
    return text;
}

}  // namespace brell
