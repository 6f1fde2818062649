#include "Removal.h"

#include "FileHandles.h"
#include "Paths.h"

namespace brellow {
namespace {

constexpr DWORD kRemovalAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// Removal asks more than a walk: the open item must be known to be the one
// at path. Where the file system cannot tell, it stays. False, with the
// reason, otherwise.
bool IsKnownToBeItself(HANDLE file, const std::wstring& path, std::wstring& reason) {
    std::wstring leadsTo;
    switch (WhatIsOpen(file, path, leadsTo)) {
    case OpenItem::Itself:
        return true;
    case OpenItem::Link:
        reason = L"it is a link to \"" + leadsTo + L"\": the link is left as it is, and what it leads to is not touched";
        return false;
    case OpenItem::Unknown:
        break;
    }
    reason = L"the file system cannot say whether it is a link";
    return false;
}

// Whether the file that file was is still at path after its deletion. A
// file another process still has open lingers, marked for deletion, until
// that handle closes: the system then refuses access to it, and it counts as
// gone. Another file of that name (Wine finds "a.txt" for "A.txt" where both
// lie side by side) is not this one.
bool StillThere(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& was) {
    brell::UniqueHandle file(CreateFileW(ForApi(path).c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_ACCESS_DENIED;
    }
    BY_HANDLE_FILE_INFORMATION now;
    return !GetFileInformationByHandle(file.get(), &now) || SameFileIndex(now, was);
}

DWORD AttributesOf(HANDLE file) {
    FILE_BASIC_INFO basic;
    return GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ? basic.FileAttributes
                                                                                    : INVALID_FILE_ATTRIBUTES;
}

// Marks file for deletion; a read-only item refuses that, and a move takes
// it all the same. 0 or the error, with the attribute put back.
DWORD MarkForDeletion(HANDLE file) {
    const DWORD attributes = AttributesOf(file);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly && !SetAttributes(file, attributes & ~FILE_ATTRIBUTE_READONLY)) return GetLastError();
    if (SetDisposition(file, true)) return 0;
    const DWORD error = GetLastError();
    if (readOnly) SetAttributes(file, attributes);
    return error;
}

bool IsEmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    brell::UniqueFind find(FindFirstFileExW(ForApi(JoinPath(folder, L"*")).c_str(), FindExInfoBasic, &entry,
                                            FindExSearchNameMatch, nullptr, 0));
    if (!find) return true;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") return false;
    } while (FindNextFileW(find.get(), &entry));
    return true;
}

}  // namespace

DWORD HeldSource::Open(const std::wstring& path) {
    path_ = path;
    denied_ = 0;
    file_.reset(CreateFileW(ForApi(path).c_str(), kRemovalAccess, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file_) return 0;
    const DWORD error = GetLastError();
    // Not ours to delete (a read-only medium, a folder without the right):
    // copied all the same, and reported as still in its place.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
        denied_ = error;
        return 0;
    }
    return error;
}

bool HeldSource::Remove(std::wstring& reason) {
    if (!file_) {
        reason = denied_ ? ErrorText(denied_) : ErrorText(ERROR_INVALID_HANDLE);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION was;
    if (!IsKnownToBeItself(file_.get(), path_, reason) || !GetFileInformationByHandle(file_.get(), &was)) {
        if (reason.empty()) reason = ErrorText(GetLastError());
        file_.reset();
        return false;
    }
    const DWORD attributes = AttributesOf(file_.get());
    if (const DWORD error = MarkForDeletion(file_.get())) {
        file_.reset();
        reason = ErrorText(error);
        return false;
    }
    file_.reset();
    // Some file systems take the mark and still keep the file (Wine, where
    // the folder is not writable, drops the deletion at the close).
    if (!StillThere(path_, was)) return true;
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(ForApi(path_).c_str(), attributes);
    reason = L"the file system kept it after its deletion";
    return false;
}

FolderRemoval RemoveEmptyFolder(const std::wstring& path, std::wstring& reason) {
    brell::UniqueHandle folder(CreateFileW(ForApi(path).c_str(), kRemovalAccess,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                           nullptr));
    if (!folder) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FolderRemoval::Removed;
        reason = ErrorText(error);
        return FolderRemoval::Failed;
    }
    BY_HANDLE_FILE_INFORMATION was;
    if (!IsKnownToBeItself(folder.get(), path, reason)) return FolderRemoval::Failed;
    if (!GetFileInformationByHandle(folder.get(), &was)) {
        reason = ErrorText(GetLastError());
        return FolderRemoval::Failed;
    }
    const DWORD attributes = AttributesOf(folder.get());
    if (const DWORD error = MarkForDeletion(folder.get())) {
        if (error == ERROR_DIR_NOT_EMPTY) return FolderRemoval::NotEmpty;
        reason = ErrorText(error);
        return FolderRemoval::Failed;
    }
    folder.reset();
    if (!StillThere(path, was)) return FolderRemoval::Removed;
    // Wine takes the mark of a folder that is not empty and drops it at the
    // close; one that is empty and stays could not be removed.
    if (!IsEmptyFolder(path)) return FolderRemoval::NotEmpty;
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(ForApi(path).c_str(), attributes);
    reason = L"the file system kept it after its deletion";
    return FolderRemoval::Failed;
}

void FlushFolder(const std::wstring& folder) {
    // Writing to a folder handle is what Windows asks for before it flushes
    // one (a handle with less access is refused).
    brell::UniqueHandle handle(CreateFileW(ForApi(folder).c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) FlushFileBuffers(handle.get());
}

}  // namespace brellow
