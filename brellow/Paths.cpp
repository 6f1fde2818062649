#include "Paths.h"

#include "Owners.h"

#include <algorithm>
#include <vector>

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

bool Identify(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    brell::UniqueHandle file(CreateFileW(ForApi(path).c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), &info);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// True when a name in path ends in a dot or a space: only the "\\?\" form
// keeps such a name ("." and ".." are not names here: paths are canonical).
bool HasNameTheSystemTrims(const std::wstring& path) {
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        const size_t length = i - start;
        const bool dots = (length == 1 && path[start] == L'.') || (length == 2 && path.compare(start, 2, L"..") == 0);
        if (length && !dots && (path[i - 1] == L'.' || path[i - 1] == L' ')) return true;
        start = i + 1;
    }
    return false;
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
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.size() < MAX_PATH - 12 && !HasNameTheSystemTrims(path)) return path;
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

std::wstring CanonicalPath(const std::wstring& fullPath) {
    std::wstring path = fullPath;
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        path = L"\\" + path.substr(7);
    else if (path.compare(0, 4, L"\\\\?\\") == 0)
        path = path.substr(4);
    if (!IsFullPath(path)) return std::wstring();
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';

    // The root: "C:\", or "\\server\share\" (both names required).
    std::wstring canonical;
    size_t next = 0;
    if (path[1] == L':') {
        canonical = path.substr(0, 3);
        next = 3;
    } else {
        const size_t server = path.find(L'\\', 2);
        if (server == std::wstring::npos || server == 2) return std::wstring();
        size_t share = path.find(L'\\', server + 1);
        if (share == std::wstring::npos) share = path.size();
        if (share == server + 1) return std::wstring();
        canonical = path.substr(0, share) + L"\\";
        next = share + 1;
    }
    const size_t rootLength = canonical.size();

    while (next < path.size()) {
        size_t end = path.find(L'\\', next);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring name = path.substr(next, end - next);
        next = end + 1;
        if (name.empty() || name == L".") continue;
        if (name == L"..") {
            if (canonical.size() == rootLength) return std::wstring();
            canonical.resize(canonical.find_last_of(L'\\', canonical.size() - 2) + 1);
            continue;
        }
        canonical += name;
        canonical += L'\\';
    }
    if (canonical.size() > rootLength) canonical.pop_back();
    return canonical;
}

// The longest path the file functions take ("\\?\" form).
constexpr size_t kLongestPath = 32768;

std::wstring FinalPathOf(HANDLE file) {
    std::wstring final(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(file, &final[0], static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
        if (length == 0) {
            // Wine says a long path does not fit without saying its length.
            const DWORD error = GetLastError();
            if (attempt > 0 || (error != ERROR_NOT_ENOUGH_MEMORY && error != ERROR_INSUFFICIENT_BUFFER))
                return std::wstring();
            final.assign(kLongestPath, L'\0');
            continue;
        }
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

std::wstring FinalPath(const std::wstring& path) {
    brell::UniqueHandle file(CreateFileW(ForApi(path).c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file ? FinalPathOf(file.get()) : std::wstring();
}

bool SameFileIndex(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool IsSameFileAs(HANDLE file, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION open, other;
    return GetFileInformationByHandle(file, &open) && Identify(path, other) && SameFileIndex(open, other);
}

namespace {

// The path of an open file below its volume's root ("\\folder\\name"), as
// the file system names it: what Wine gives where the final path is past
// MAX_PATH, which it cannot give. Empty when it cannot be asked.
std::wstring VolumePathOf(HANDLE file) {
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + kLongestPath * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandleEx(file, FileNameInfo, info, static_cast<DWORD>(buffer.size())))
        return std::wstring();
    return std::wstring(info->FileName, std::min<size_t>(info->FileNameLength / sizeof(wchar_t), kLongestPath));
}

std::wstring VolumePath(const std::wstring& path) {
    brell::UniqueHandle file(CreateFileW(ForApi(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file ? VolumePathOf(file.get()) : std::wstring();
}

// True when itemPath, the open file's path as the file system names it,
// is folderPath (its folder's, named the same way) joined with path's own
// name; or, as Wine drops a name's trailing dots and spaces from such
// paths, joined with the shorter name while the open file is not the file
// of the shorter name.
bool NamesEntry(HANDLE file, const std::wstring& itemPath, const std::wstring& folderPath, const std::wstring& path) {
    const std::wstring name = LastComponent(path);
    if (SamePathText(itemPath, JoinPath(folderPath, name))) return true;
    const size_t last = name.find_last_not_of(L". ");
    if (last == std::wstring::npos || last + 1 == name.size()) return false;
    const std::wstring shorter = name.substr(0, last + 1);
    return SamePathText(itemPath, JoinPath(folderPath, shorter)) &&
           !IsSameFileAs(file, JoinPath(ParentFolder(path), shorter));
}

}  // namespace

OpenItem WhatIsOpen(HANDLE file, const std::wstring& path, std::wstring& leadsTo) {
    std::wstring item = FinalPathOf(file);
    std::wstring folder = item.empty() ? std::wstring() : FinalPath(ParentFolder(path));
    if (item.empty() || folder.empty()) {
        item = VolumePathOf(file);
        folder = VolumePath(ParentFolder(path));
    }
    if (item.empty() || folder.empty()) return OpenItem::Unknown;
    if (NamesEntry(file, item, folder, path)) return OpenItem::Itself;
    leadsTo = item;
    return OpenItem::Link;
}

bool IsEntryItself(HANDLE file, const std::wstring& folderFinal, const std::wstring& path, std::wstring& final) {
    final = FinalPathOf(file);
    if (final.empty() || folderFinal.empty()) return true;
    return NamesEntry(file, final, folderFinal, path);
}

bool IsItself(const std::wstring& path) {
    brell::UniqueHandle item(CreateFileW(ForApi(path).c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    std::wstring leadsTo;
    return item && WhatIsOpen(item.get(), path, leadsTo) != OpenItem::Link;
}

bool SamePathText(const std::wstring& a, const std::wstring& b) {
    return EqualNoCase(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()));
}

std::wstring NumberedName(const std::wstring& name, unsigned number) {
    const std::wstring suffix = L" (" + std::to_wstring(number) + L")";
    size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || dot == 0) dot = name.size();
    std::wstring stem = name.substr(0, dot);
    const std::wstring extension = name.substr(dot);
    const size_t room = kLongestName - std::min(kLongestName, suffix.size() + extension.size());
    if (room == 0) return std::wstring();
    if (stem.size() > room) {
        stem.resize(room);
        // Never half of a surrogate pair.
        if (IS_HIGH_SURROGATE(stem.back())) stem.pop_back();
        if (stem.empty()) return std::wstring();
    }
    return stem + suffix + extension;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    return Identify(a, first) && Identify(b, second) && SameFileIndex(first, second);
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
