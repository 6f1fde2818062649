#include "CopyProgress.h"

#include "Handles.h"

namespace brellow {

void CopyProgress::Begin(std::uint64_t bytesTotal, size_t filesTotal) {
    Hold hold(lock_);
    bytesTotal_ = bytesTotal;
    filesTotal_ = filesTotal;
}

void CopyProgress::StartFile(const std::wstring& name) {
    Hold hold(lock_);
    currentFile_ = name;
}

void CopyProgress::AddBytes(std::uint64_t bytes) {
    Hold hold(lock_);
    bytesDone_ += bytes;
    // A file that grew since planning must not push the bar past its end.
    if (bytesDone_ > bytesTotal_) bytesTotal_ = bytesDone_;
}

void CopyProgress::FinishFile() {
    Hold hold(lock_);
    ++filesDone_;
}

CopyProgress::Snapshot CopyProgress::Read() {
    Hold hold(lock_);
    return {currentFile_, bytesDone_, bytesTotal_, filesDone_, filesTotal_};
}

}  // namespace brellow
