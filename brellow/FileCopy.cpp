#include "FileCopy.h"

#include "FileHandles.h"
#include "Owners.h"
#include "Paths.h"
#include "Placement.h"
#include "Removal.h"
#include "StagedFile.h"

#include <windows.h>

#include <algorithm>

namespace brellow {
namespace {

constexpr size_t kSmallestBuffer = size_t{64} * 1024;

// Attributes worth carrying over; the rest (compressed, sparse, ...) belong
// to how the source volume stores the file.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

}  // namespace

bool CopyBuffer::Prepare(std::uint64_t bytes) {
    // A 32-bit process cannot hold the largest buffers the settings allow.
    const std::uint64_t limit = sizeof(void*) == 4 ? std::uint64_t{256} * 1024 * 1024 : std::uint64_t(1) << 31;
    size_t wanted = static_cast<size_t>(std::min(std::max<std::uint64_t>(bytes, kSmallestBuffer), limit));
    request_ = wanted;
    if (data_ && size_ >= wanted) return true;
    data_.reset();
    size_ = 0;
    // Memory is short: a smaller buffer copies just as correctly.
    for (; wanted >= kSmallestBuffer; wanted /= 2) {
        data_.reset(VirtualAlloc(nullptr, wanted, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (data_) {
            size_ = wanted;
            request_ = wanted;
            return true;
        }
    }
    return false;
}

FileResult CopyOneFile(const PlanItem& item, const Settings& settings, CopyBuffer& buffer, CopyProgress& progress,
                       bool markForDeletion, const PlacedNames* reserved, std::wstring& reason,
                       std::wstring& placedAt) {
    // A move holds its source for deletion from the start: a file that another
    // program holds without letting it go is refused here, before anything
    // is copied, and stays where it is. The content is read through a handle
    // of its own, which follows a link to what it leads to.
    HeldSource held;
    if (item.move) {
        if (const DWORD error = held.Open(item.source)) {
            reason = error == ERROR_SHARING_VIOLATION ? L"another program is using it"
                                                       : L"cannot open it: " + ErrorText(error);
            return FileResult::Failed;
        }
    }
    brell::UniqueHandle source(CreateFileW(ForApi(item.source).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source) {
        const DWORD error = GetLastError();
        reason = item.move && error == ERROR_SHARING_VIOLATION ? L"another program is using it"
                                                                 : L"cannot open it: " + ErrorText(error);
        return FileResult::Failed;
    }
    // The times come from the open file, not from planning: the file may
    // have changed since. Its size is only a hint for the buffer.
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(source.get(), FileBasicInfo, &basic, sizeof(basic))) {
        reason = L"cannot read it: " + ErrorText(GetLastError());
        return FileResult::Failed;
    }
    if (!buffer.Prepare(RequestSizeFor(settings, item.size))) {
        reason = L"not enough memory for a copy buffer";
        return FileResult::Failed;
    }

    StagedFile staged;
    const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (settings.writeCache ? 0 : FILE_FLAG_WRITE_THROUGH);
    if (const DWORD error = staged.Create(ParentFolder(item.target), flags, markForDeletion)) {
        reason = L"cannot create it in the target folder: " + ErrorText(error);
        return FileResult::Failed;
    }

    const DWORD request = static_cast<DWORD>(buffer.request());
    std::uint64_t copied = 0;
    for (;;) {
        if (progress.CancelRequested()) return FileResult::Cancelled;
        DWORD read = 0;
        if (!ReadFile(source.get(), buffer.data(), request, &read, nullptr)) {
            reason = L"reading failed: " + ErrorText(GetLastError());
            return FileResult::Failed;
        }
        if (read == 0) break;
        if (!WriteAll(staged.handle(), static_cast<const char*>(buffer.data()), read)) {
            reason = L"writing failed: " + ErrorText(GetLastError());
            return FileResult::Failed;
        }
        progress.AddBytes(read);
        copied += read;
        // A short read of a file at least as long as planned met its end:
        // no second read just to be told so (one call in ten per small file).
        if (read < request && copied >= item.size) break;
    }

    // Without the write cache every file is on the disk before it has its
    // name; a move's copy always is, since its source goes next (what a
    // rename between volumes with MOVEFILE_WRITE_THROUGH promises). Still
    // marked for deletion meanwhile, where it was marked.
    const bool durable = item.move && settings.flushMovedCopies;
    if ((durable || !settings.writeCache) && !FlushFileBuffers(staged.handle())) {
        reason = L"writing failed: " + ErrorText(GetLastError());
        return FileResult::Failed;
    }
    const DWORD kept = basic.FileAttributes & kKeptAttributes;
    if (const DWORD error = staged.Finish(basic.CreationTime, basic.LastWriteTime, kept)) {
        reason = L"cannot set its times and attributes: " + ErrorText(error);
        return FileResult::Failed;
    }
    const DWORD error = PlaceStagedFile(staged, item, placedAt, reserved);
    if (item.clash == ClashAction::None && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
        return FileResult::Exists;
    if (error) {
        reason = L"cannot give it its name: " + ErrorText(error);
        return FileResult::Failed;
    }
    if (!item.move) return FileResult::Copied;
    if (durable) FlushFolder(ParentFolder(placedAt));
    source.reset();
    std::wstring why;
    if (!held.Remove(why)) {
        reason = L"it was copied to \"" + placedAt + L"\" but cannot be removed from its place: " + why;
        return FileResult::SourceKept;
    }
    return FileResult::Moved;
}

}  // namespace brellow
