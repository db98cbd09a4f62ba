#include "platform/error.h"

#include <windows.h>
#include <winsock2.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace platform {
namespace {

// Codes of newer Windows versions that MinGW-w64's headers lack.
constexpr DWORD kStoppedOnSymlink = 681;          // ERROR_STOPPED_ON_SYMLINK
constexpr DWORD kReparsePointEncountered = 4395;  // ERROR_REPARSE_POINT_ENCOUNTERED
constexpr DWORD kDiskQuotaExceeded = 1295;        // ERROR_DISK_QUOTA_EXCEEDED

// The error is one of `errnos` (named by this program's code) or of
// `systems` (reported by Windows).
bool Is(const SysError& error, std::initializer_list<int> errnos,
        std::initializer_list<DWORD> systems) {
    if (error.source == ErrorSource::Errno) {
        for (int each : errnos) {
            if (error.code == each) {
                return true;
            }
        }
        return false;
    }
    for (DWORD each : systems) {
        if (static_cast<DWORD>(error.code) == each) {
            return true;
        }
    }
    return false;
}

std::string ErrnoMessage(int code) {
    const char* text = std::strerror(code);
    return text ? std::string(text) : std::string("Unknown error");
}

}  // namespace

bool SysError::NotFound() const {
    return Is(*this, {ENOENT, ENOTDIR},
              {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH,
               ERROR_BAD_NET_NAME});
}

bool SysError::SharingViolation() const {
    return Is(*this, {EWOULDBLOCK, EAGAIN}, {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION});
}

bool SysError::Interrupted() const {
    return Is(*this, {EINTR}, {WSAEINTR});
}

bool SysError::WrongKind() const {
    return Is(*this, {ELOOP, EISDIR, ENOTDIR, ENODEV, ENXIO},
              {ERROR_DIRECTORY, kStoppedOnSymlink, ERROR_CANT_ACCESS_FILE,
               ERROR_CANT_RESOLVE_FILENAME, kReparsePointEncountered});
}

bool SysError::NoSpace() const {
    return Is(*this, {ENOSPC}, {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL, kDiskQuotaExceeded});
}

bool SysError::TooLarge() const {
    return Is(*this, {EFBIG}, {ERROR_FILE_TOO_LARGE});
}

bool SysError::AccessDenied() const {
    return Is(*this, {EACCES, EPERM, EROFS},
              {ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_PRIVILEGE_NOT_HELD,
               ERROR_NETWORK_ACCESS_DENIED});
}

bool SysError::NameRefused() const {
    return Is(*this, {ENAMETOOLONG, EILSEQ, EINVAL},
              {ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE, ERROR_BAD_PATHNAME,
               ERROR_NO_UNICODE_TRANSLATION});
}

bool SysError::UnknownCodePage() const {
    return Is(*this, {EINVAL}, {ERROR_INVALID_PARAMETER});
}

bool SysError::NoCharacter() const {
    return Is(*this, {EILSEQ}, {ERROR_NO_UNICODE_TRANSLATION});
}

std::string SysError::Message() const {
    return source == ErrorSource::Errno ? ErrnoMessage(code) : SystemMessage(code);
}

std::string SystemMessage(int code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text != nullptr) {
        // UTF-8, as every text of the program.
        const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length),
                                                 nullptr, 0, nullptr, nullptr);
        message.resize(static_cast<std::size_t>(needed > 0 ? needed : 0));
        if (needed > 0) {
            ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), message.data(),
                                  needed, nullptr, nullptr);
        }
    }
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "Error " + std::to_string(code) : message;
}

SysError LastError() {
    return SysError{static_cast<int>(::GetLastError()), ErrorSource::System};
}

}  // namespace platform
