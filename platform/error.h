#pragma once
// Errors from the operating system as values: the system's own code, with
// the conditions that callers branch on made recognisable.

#include <string>
#include <utility>
#include <variant>

namespace platform {

// Where an error's number comes from. POSIX systems have one set, errno's,
// and Errno serves for both. Windows has its own (GetLastError and
// WSAGetLastError, whose numbers overlap errno's with other meanings): the
// platform layer marks those System, while code that names a condition
// itself (SysError{EINVAL}, a test's SysError{ENOSPC}) keeps errno's.
enum class ErrorSource { Errno, System };

struct SysError {
    int code = 0;  // the error number, of `source`
    ErrorSource source = ErrorSource::Errno;

    // The file or a folder on its path does not exist.
    bool NotFound() const;
    // Another open of the file holds a conflicting share lock.
    bool SharingViolation() const;
    // A call was interrupted before it did anything; it may be made again.
    bool Interrupted() const;
    // Something of another kind has the name: a link, a folder, a FIFO or
    // a device where a file is expected, or anything but a folder where a
    // folder is expected.
    bool WrongKind() const;
    // The disk (or the user's quota on it) is full.
    bool NoSpace() const;
    // The file would grow beyond what the file system or the process may
    // write.
    bool TooLarge() const;
    // The system does not let this user write there.
    bool AccessDenied() const;
    // The file system cannot store the name (too long, or characters it
    // does not take).
    bool NameRefused() const;
    // The system knows no code page of that name (text_encoding.h).
    bool UnknownCodePage() const;
    // A byte of a text has no character in its code page, or its character
    // none in the code page it is converted into.
    bool NoCharacter() const;
    // The system's message text for the code, without a line end.
    std::string Message() const;
};

// The system's message text for an error code.
std::string SystemMessage(int code);

// The calling thread's last system error (errno; GetLastError on Windows)
// as a value.
SysError LastError();

// A value or the error that prevented it.
template <typename T>
class Result {
  public:
    Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
    Result(SysError error) : state_(error) {}      // NOLINT
    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    SysError error() const { return ok() ? SysError{} : std::get<1>(state_); }

  private:
    std::variant<T, SysError> state_;
};

// Success or the error of an operation without a value.
class Status {
  public:
    Status() = default;
    Status(SysError error) : error_(error), failed_(true) {}  // NOLINT
    static Status Ok() { return Status(); }
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    SysError error() const { return error_; }

  private:
    SysError error_{};
    bool failed_ = false;
};

}  // namespace platform
