#include "Paths.h"

#include "Owners.h"

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
    std::wstring trimmed = TrimTrailingSeparators(path);
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

bool IsFullPath(const std::wstring& path) {
    auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (path.size() >= 3 && path[1] == L':' && separator(path[2])) {
        const wchar_t drive = path[0];
        return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    }
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
}

bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    return name.find_first_of(std::wstring(L"\\/:\0", 4)) == std::wstring::npos;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0) return std::wstring();
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.assign(length, L'\0');  // length counts the terminator here
    }
    return std::wstring();
}

std::wstring FinalPath(const std::wstring& path) {
    brell::UniqueHandle file(CreateFileW(ForApi(path).c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return std::wstring();
    std::wstring final(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(file.get(), &final[0], static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
        if (length == 0) return std::wstring();
        if (length < final.size()) {
            final.resize(length);
            if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + final.substr(7);
            if (final.compare(0, 4, L"\\\\?\\") == 0) return final.substr(4);
            return final;
        }
        final.assign(length, L'\0');
    }
    return std::wstring();
}

std::wstring NumberedName(const std::wstring& name, unsigned number) {
    const std::wstring suffix = L" (" + std::to_wstring(number) + L")";
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

namespace {

bool Identify(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    brell::UniqueHandle file(CreateFileW(ForApi(path).c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), &info);
}

}  // namespace

bool SameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!Identify(a, first) || !Identify(b, second)) return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
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
    brell::UniqueLocalMem<wchar_t> text;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    std::wstring message;
    if (length && text) message.assign(text.get(), length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) message = L"error " + std::to_wstring(code);
    return message;
}

}  // namespace brellow
