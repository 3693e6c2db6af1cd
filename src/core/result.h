// The outcome of an operation that may fail, in the program's own terms.
#pragma once

#include <string>
#include <type_traits>
#include <utility>

namespace setup {

// Why the platform refused an operation it could have done: the caller tells the user about these in words of
// its own rather than the system's.
enum class Refusal {
    None,        // an ordinary failure, described by the system
    Unverified,  // a file that is not what the signed medium recorded: its digest differs, or it has no record
    Link,        // a folder that leads elsewhere: a junction, a symbolic link or another reparse point
};

// What a failed platform operation gives back: the platform's own text for the failure (on Windows the
// FormatMessage text of the error code, so a Japanese Windows shows Japanese).
struct PlatformError {
    std::wstring description;
    Refusal refusal = Refusal::None;
};

// The value of an operation that gives nothing back but may fail.
struct Done {};

// The outcome of an operation that may fail: its value, or the failure. The caller decides what a failure
// means (a trapped region reports it and stops; an ignored operation is skipped), so it may not drop one
// unlooked at.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    // A value of a type that becomes a T (an owner of a derived object, say).
    template <class U, class = std::enable_if_t<std::is_convertible_v<U&&, T> && !std::is_same_v<std::decay_t<U>, T> &&
                                                !std::is_same_v<std::decay_t<U>, PlatformError>>>
    Result(U&& value) : value_(std::forward<U>(value)) {}
    Result(PlatformError error) : error_(std::move(error)), failed_(true) {}

    bool ok() const { return !failed_; }
    // Only meaningful when ok().
    const T& value() const { return value_; }
    // The failure's description; empty when ok().
    const std::wstring& error() const { return error_.description; }
    // Why the operation was refused; Refusal::None when ok() or an ordinary failure.
    Refusal refusal() const { return failed_ ? error_.refusal : Refusal::None; }
    // The failure, to hand on as the caller's own.
    PlatformError failure() const { return error_; }
    // The value, moved out (an owner of an object, say). Only meaningful when ok().
    T take() { return std::move(value_); }

private:
    T value_{};
    PlatformError error_;
    bool failed_ = false;
};

using Status = Result<Done>;

}  // namespace setup
