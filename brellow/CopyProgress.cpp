#include "CopyProgress.h"

#include "Owners.h"

namespace brellow {

void CopyProgress::Begin(std::uint64_t bytesTotal, size_t filesTotal) {
    brell::Hold hold(lock_);
    bytesTotal_ = bytesTotal;
    filesTotal_ = filesTotal;
}

void CopyProgress::StartFile(const std::wstring& name) {
    brell::Hold hold(lock_);
    currentFile_ = name;
}

void CopyProgress::AddBytes(std::uint64_t bytes) {
    brell::Hold hold(lock_);
    bytesDone_ += bytes;
    // A file that grew since planning must not push the bar past its end.
    if (bytesDone_ > bytesTotal_) bytesTotal_ = bytesDone_;
}

void CopyProgress::FinishFile() {
    brell::Hold hold(lock_);
    ++filesDone_;
}

CopyProgress::Snapshot CopyProgress::Read() {
    brell::Hold hold(lock_);
    return {currentFile_, bytesDone_, bytesTotal_, filesDone_, filesTotal_};
}

}  // namespace brellow
