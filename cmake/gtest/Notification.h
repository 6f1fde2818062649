// GoogleTest's Notification for the win32 thread model of mingw, whose C++
// library has no std::mutex or std::condition_variable: a manual-reset event
// does the same. Included ahead of every source that sees GoogleTest's
// headers (GTEST_HAS_NOTIFICATION_ tells them it is there).
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (event_) CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
