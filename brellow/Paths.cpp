#include "Paths.h"

namespace brellow {
namespace {

std::wstring TrimTrailingSeparators(std::wstring path) {
    // Keep the backslash of a drive root ("C:\"): without it the path means
    // the drive's current folder.
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

bool EqualNoCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    std::wstring joined = folder;
    if (joined.back() != L'\\' && joined.back() != L'/') joined += L'\\';
    joined += name;
    return joined;
}

std::wstring LastComponent(const std::wstring& path) {
    const std::wstring trimmed = TrimTrailingSeparators(path);
    const size_t cut = trimmed.find_last_of(L"\\/:");
    if (cut == std::wstring::npos) return trimmed;
    return trimmed.substr(cut + 1);
}

std::wstring ParentFolder(const std::wstring& path) {
    const std::wstring trimmed = TrimTrailingSeparators(path);
    const size_t cut = trimmed.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return std::wstring();
    if (cut == 2 && trimmed[1] == L':') return trimmed.substr(0, 3);
    return trimmed.substr(0, cut);
}

std::wstring ForApi(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

bool IsSameOrBelow(const std::wstring& inner, const std::wstring& outer) {
    const std::wstring a = TrimTrailingSeparators(inner);
    const std::wstring b = TrimTrailingSeparators(outer);
    if (a.size() < b.size()) return false;
    if (!EqualNoCase(a.c_str(), static_cast<int>(b.size()), b.c_str(), static_cast<int>(b.size())))
        return false;
    return a.size() == b.size() || a[b.size()] == L'\\' || b.back() == L'\\';
}

std::wstring ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message;
    if (length && text) message.assign(text, length);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) message = L"error " + std::to_wstring(code);
    return message;
}

}  // namespace brellow
