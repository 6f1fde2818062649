#include "Copier.h"

#include "Handles.h"
#include "Paths.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace brellow {
namespace {

constexpr size_t kSmallestBuffer = 64 * 1024;

// Attributes worth carrying over; the rest (compressed, sparse, ...) belong
// to how the source volume stores the file.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Marks an open file for deletion when its last handle closes, or takes the
// mark away again. While it is set, a failure, a cancel or even a killed
// process leaves nothing behind.
bool SetDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
    while (size) {
        DWORD written = 0;
        if (!WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

Copier::Copier(const Settings& settings, CopyProgress& progress)
    : settings_(settings), progress_(progress) {}

Copier::~Copier() {
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
}

bool Copier::EnsureBuffer(std::uint64_t bytes) {
    // A 32-bit process cannot hold the largest buffers the settings allow.
    const std::uint64_t limit = sizeof(void*) == 4 ? 256u * 1024 * 1024 : std::uint64_t(1) << 31;
    size_t wanted = static_cast<size_t>(std::min(std::max<std::uint64_t>(bytes, kSmallestBuffer), limit));
    // A larger buffer from an earlier file is kept, but each request stays
    // the size the settings give for this file.
    requestSize_ = wanted;
    if (buffer_ && bufferSize_ >= wanted) return true;
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
    buffer_ = nullptr;
    bufferSize_ = 0;
    // Memory is short: a smaller buffer copies just as correctly.
    for (; wanted >= kSmallestBuffer; wanted /= 2) {
        buffer_ = VirtualAlloc(nullptr, wanted, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (buffer_) {
            bufferSize_ = wanted;
            requestSize_ = wanted;
            return true;
        }
    }
    return false;
}

Copier::FileResult Copier::CopyOneFile(const PlanItem& item, std::wstring& reason) {
    UniqueHandle source(CreateFileW(ForApi(item.source).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source) {
        reason = L"cannot open it: " + ErrorText(GetLastError());
        return FileResult::Failed;
    }
    // Basic information and size rather than GetFileInformationByHandle,
    // which also asks the volume for its serial number on every file.
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!GetFileInformationByHandleEx(source.get(), FileBasicInfo, &basic, sizeof(basic)) ||
        !GetFileSizeEx(source.get(), &size)) {
        reason = L"cannot read it: " + ErrorText(GetLastError());
        return FileResult::Failed;
    }
    if (!EnsureBuffer(RequestSizeFor(settings_, static_cast<std::uint64_t>(size.QuadPart)))) {
        reason = L"not enough memory for a copy buffer";
        return FileResult::Failed;
    }

    // CREATE_NEW: an existing file is never replaced, not even one that
    // appeared after planning. Read-only comes last: a read-only file could
    // not be marked for deletion.
    const DWORD kept = basic.FileAttributes & kKeptAttributes;
    const DWORD created = kept & ~FILE_ATTRIBUTE_READONLY;
    DWORD flags = (created ? created : FILE_ATTRIBUTE_NORMAL) | FILE_FLAG_SEQUENTIAL_SCAN;
    if (!settings_.writeCache) flags |= FILE_FLAG_WRITE_THROUGH;
    UniqueHandle target(CreateFileW(ForApi(item.target).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    flags, nullptr));
    if (!target) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return FileResult::Exists;
        reason = L"cannot create it in the target folder: " + ErrorText(error);
        return FileResult::Failed;
    }
    // A file that takes more than one request is marked, for a cancel or a
    // killed process to take it away; a file that fits one request has no
    // such moment worth two more calls per file (a quarter of the time a
    // small file takes), and is deleted by name when its write fails. Where
    // the file system cannot mark a file, it is deleted by name as well.
    const bool marked = static_cast<std::uint64_t>(size.QuadPart) > requestSize_ &&
                        SetDeleteOnClose(target.get(), true);

    FileResult result = FileResult::Failed;
    for (;;) {
        if (progress_.CancelRequested()) {
            result = FileResult::Cancelled;
            break;
        }
        DWORD read = 0;
        if (!ReadFile(source.get(), buffer_, static_cast<DWORD>(requestSize_), &read, nullptr)) {
            reason = L"reading failed: " + ErrorText(GetLastError());
            break;
        }
        if (read == 0) {
            result = FileResult::Copied;
            break;
        }
        if (!WriteAll(target.get(), static_cast<const char*>(buffer_), read)) {
            reason = L"writing failed: " + ErrorText(GetLastError());
            break;
        }
        progress_.AddBytes(read);
    }

    if (result == FileResult::Copied && !settings_.writeCache && !FlushFileBuffers(target.get())) {
        reason = L"writing failed: " + ErrorText(GetLastError());
        result = FileResult::Failed;
    }
    if (result == FileResult::Copied && marked && !SetDeleteOnClose(target.get(), false)) {
        reason = L"cannot keep it: " + ErrorText(GetLastError());
        result = FileResult::Failed;
    }
    if (result == FileResult::Copied) {
        // The source's times, and read-only now that the data is in.
        FILE_BASIC_INFO finished = {};
        finished.CreationTime = basic.CreationTime;
        finished.LastWriteTime = basic.LastWriteTime;
        finished.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(target.get(), FileBasicInfo, &finished, sizeof(finished));
        return FileResult::Copied;
    }
    target.reset();
    if (!marked) DeleteFileW(ForApi(item.target).c_str());
    return result;
}

void Copier::RemoveCreatedFolders() {
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it)
        RemoveDirectoryW(ForApi(*it).c_str());  // fails, as it should, when not empty
}

bool Copier::Run(const CopyPlan& plan, Report& report) {
    progress_.Begin(plan.totalBytes, plan.fileCount);
    std::vector<std::wstring> failedFolders;
    auto belowFailedFolder = [&](const std::wstring& target) {
        for (const std::wstring& folder : failedFolders)
            if (IsSameOrBelow(target, folder)) return true;
        return false;
    };

    for (const PlanItem& item : plan.items) {
        if (progress_.CancelRequested()) break;
        if (belowFailedFolder(item.target)) {
            report.Failed(item.source, L"its folder could not be created");
            continue;
        }
        if (item.isFolder) {
            if (CreateDirectoryW(ForApi(item.target).c_str(), nullptr)) {
                createdFolders_.push_back(item.target);
                continue;
            }
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesW(ForApi(item.target).c_str());
            if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
            report.Failed(item.source, L"cannot create \"" + item.target + L"\": " + ErrorText(error));
            failedFolders.push_back(item.target);
            continue;
        }

        progress_.StartFile(item.source);
        std::wstring reason;
        switch (CopyOneFile(item, reason)) {
        case FileResult::Copied:
            report.Copied(item.target);
            break;
        case FileResult::Exists:
            report.Skipped(item.source, L"\"" + item.target + L"\" already exists");
            break;
        case FileResult::Failed:
            report.Failed(item.source, reason);
            break;
        case FileResult::Cancelled:
            break;
        }
        progress_.FinishFile();
    }

    if (!progress_.CancelRequested()) return true;
    RemoveCreatedFolders();
    report.Cancelled();
    return false;
}

}  // namespace brellow
