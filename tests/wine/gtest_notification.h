// Forced into every GoogleTest translation unit of the MinGW build (see CMakeLists.txt).
//
// MinGW's win32 thread model has no std::mutex or std::condition_variable, which GoogleTest's own
// Notification is built on. GoogleTest lets a port supply that class (GTEST_HAS_NOTIFICATION_); this one is
// a manual-reset event.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (event_) ::CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { ::SetEvent(event_); }
    void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
