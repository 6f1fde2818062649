// What the copying thread has done so far, read by the progress window, and
// the window's request to stop. Safe to use from both threads.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace brellow {

class CopyProgress {
public:
    CopyProgress() { InitializeCriticalSection(&lock_); }
    ~CopyProgress() { DeleteCriticalSection(&lock_); }
    CopyProgress(const CopyProgress&) = delete;
    CopyProgress& operator=(const CopyProgress&) = delete;

    struct Snapshot {
        std::wstring currentFile;
        std::uint64_t bytesDone;
        std::uint64_t bytesTotal;
        size_t filesDone;
        size_t filesTotal;
    };

    void Begin(std::uint64_t bytesTotal, size_t filesTotal);
    void StartFile(const std::wstring& name);
    void AddBytes(std::uint64_t bytes);
    void FinishFile();
    Snapshot Read();

    void RequestCancel() { cancel_ = true; }
    bool CancelRequested() const { return cancel_; }

private:
    CRITICAL_SECTION lock_;
    std::wstring currentFile_;
    std::uint64_t bytesDone_ = 0;
    std::uint64_t bytesTotal_ = 0;
    size_t filesDone_ = 0;
    size_t filesTotal_ = 0;
    std::atomic<bool> cancel_{false};
};

}  // namespace brellow
