#include "StagedFile.h"

#include "FileHandles.h"
#include "Paths.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace brellow {
namespace {

constexpr wchar_t kPrefix[] = L".brellow-";
constexpr wchar_t kSuffix[] = L".part";
constexpr size_t kPrefixLength = ARRAYSIZE(kPrefix) - 1;
constexpr size_t kSuffixLength = ARRAYSIZE(kSuffix) - 1;
constexpr size_t kDigits = 16;
constexpr int kNameAttempts = 16;

std::atomic<std::uint32_t> nameCounter{0};

// The process id keeps running engines apart, the counter this one's files;
// a leftover of an ended process with the same id only costs another attempt.
std::wstring NextName() {
    const unsigned long long id = (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) | ++nameCounter;
    wchar_t digits[kDigits + 1];
    for (size_t i = 0; i < kDigits; ++i) digits[i] = L"0123456789abcdef"[(id >> (4 * (kDigits - 1 - i))) & 0xF];
    digits[kDigits] = L'\0';
    return std::wstring(kPrefix) + digits + kSuffix;
}

bool RenameHandle(HANDLE file, const std::wstring& target, bool replace) {
    const std::wstring name = ForApi(target);
    const size_t nameBytes = name.size() * sizeof(wchar_t);
    // The structure's own size holds the terminator; zeroed, so that the
    // flags sharing ReplaceIfExists's place are clear too.
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, name.c_str(), nameBytes + sizeof(wchar_t));
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }

}  // namespace

DWORD StagedFile::Create(const std::wstring& folder, DWORD flags, bool markForDeletion) {
    Discard();
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
        std::wstring path = JoinPath(folder, NextName());
        file_.reset(CreateFileW(ForApi(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                flags | FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (file_) {
            path_ = std::move(path);
            // Where the file system cannot mark, the destructor still deletes.
            marked_ = markForDeletion && SetDisposition(file_.get(), true);
            readOnly_ = false;
            return 0;
        }
        error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
    }
    return error;
}

DWORD StagedFile::Finish(const LARGE_INTEGER& created, const LARGE_INTEGER& written, DWORD attributes) {
    if (const DWORD error = Unmark()) return error;
    if (!SetAttributes(file_.get(), attributes, created, written)) return GetLastError();
    readOnly_ = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return 0;
}

DWORD StagedFile::Commit(const std::wstring& finalPath) { return Rename(finalPath, false); }

DWORD StagedFile::Replace(const std::wstring& finalPath) { return Rename(finalPath, true); }

DWORD StagedFile::Unmark() {
    if (!file_) return ERROR_INVALID_HANDLE;
    // A file marked for deletion can be neither renamed nor made read-only.
    if (marked_) {
        if (!SetDisposition(file_.get(), false)) return GetLastError();
        marked_ = false;
    }
    return 0;
}

DWORD StagedFile::Rename(const std::wstring& finalPath, bool replace) {
    if (const DWORD error = Unmark()) return error;
    if (!RenameHandle(file_.get(), finalPath, replace)) return GetLastError();
    file_.reset();
    path_.clear();
    return 0;
}

void StagedFile::Discard() {
    if (!file_) return;
    // Read-only refuses deletion; the attribute was ours to set anyway.
    if (readOnly_) SetAttributes(file_.get(), FILE_ATTRIBUTE_HIDDEN);
    const bool deleting = marked_ || SetDisposition(file_.get(), true);
    file_.reset();
    if (!deleting) DeleteFileW(ForApi(path_).c_str());
    path_.clear();
    marked_ = false;
    readOnly_ = false;
}

bool IsStagedName(const std::wstring& name) {
    if (name.size() != kPrefixLength + kDigits + kSuffixLength) return false;
    if (name.compare(0, kPrefixLength, kPrefix) != 0) return false;
    if (name.compare(kPrefixLength + kDigits, kSuffixLength, kSuffix) != 0) return false;
    for (size_t i = kPrefixLength; i < kPrefixLength + kDigits; ++i)
        if (!IsHexDigit(name[i])) return false;
    return true;
}

size_t RemoveLeftovers(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    const std::wstring pattern = JoinPath(folder, std::wstring(kPrefix) + L"*" + kSuffix);
    brell::UniqueFind find(FindFirstFileExW(ForApi(pattern).c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                            nullptr, 0));
    if (!find) return 0;
    size_t removed = 0;
    do {
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        if (!IsStagedName(entry.cFileName)) continue;
        // Shared with no one: a file that any process has open is refused
        // here, and so stays as it is.
        brell::UniqueHandle file(CreateFileW(ForApi(JoinPath(folder, entry.cFileName)).c_str(),
                                             DELETE | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetAttributes(file.get(), FILE_ATTRIBUTE_HIDDEN);
        if (SetDisposition(file.get(), true)) ++removed;
    } while (FindNextFileW(find.get(), &entry));
    return removed;
}

}  // namespace brellow
