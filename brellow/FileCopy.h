// Copies one file of a plan: from its source through a buffer into a staged
// file beside the target, committed under the target name once complete.
#pragma once

#include "CopyPlan.h"
#include "CopyProgress.h"
#include "Owners.h"
#include "Settings.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace brellow {

enum class FileResult {
    Copied,
    Moved,       // copied, and the source deleted after
    SourceKept,  // a move's copy is complete under its name, but its source could not be deleted
    Exists,
    Failed,
    Cancelled,
};

// One thread's copy buffer. It grows to what the settings give the file at
// hand and keeps its size for the next files; each request is still the size
// the settings give the current file.
class CopyBuffer {
public:
    CopyBuffer() = default;
    CopyBuffer(const CopyBuffer&) = delete;
    CopyBuffer& operator=(const CopyBuffer&) = delete;

    // Makes room for requests of bytes (at least 64 KiB); settles for a
    // smaller buffer when memory is short. False when not even 64 KiB is free.
    bool Prepare(std::uint64_t bytes);
    void* data() const { return data_.get(); }
    size_t request() const { return request_; }

private:
    brell::UniqueVirtualMem data_;
    size_t size_ = 0;
    size_t request_ = 0;
};

// Copies item (a file) and says how it went; reason tells why it failed,
// placedAt where the copy went (item.target, or a numbered name beside it).
// A move's source is removed only once its copy is on the disk under its
// final name, and only the item itself: never what a link leads to.
// markForDeletion: see StagedFile::Create. Only the file's own bytes are
// added to progress; the caller counts the file.
// reserved: the names of the paste's plan (see PlaceStagedFile).
FileResult CopyOneFile(const PlanItem& item, const Settings& settings, CopyBuffer& buffer, CopyProgress& progress,
                       bool markForDeletion, const PlacedNames* reserved, std::wstring& reason,
                       std::wstring& placedAt);

}  // namespace brellow
