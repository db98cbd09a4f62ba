#include "platform/error.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool SysError::NotFound() const {
    return code == ENOENT || code == ENOTDIR;
}

bool SysError::SharingViolation() const {
    return code == EWOULDBLOCK;
}

bool SysError::Interrupted() const {
    return code == EINTR;
}

bool SysError::WrongKind() const {
    return code == ELOOP || code == EISDIR || code == ENOTDIR || code == ENODEV || code == ENXIO;
}

bool SysError::NoSpace() const {
    return code == ENOSPC || code == EDQUOT;
}

bool SysError::TooLarge() const {
    return code == EFBIG;
}

bool SysError::AccessDenied() const {
    return code == EACCES || code == EPERM || code == EROFS;
}

bool SysError::NameRefused() const {
    return code == ENAMETOOLONG || code == EILSEQ || code == EINVAL;
}

bool SysError::UnknownCodePage() const {
    return code == EINVAL;
}

bool SysError::NoCharacter() const {
    return code == EILSEQ;
}

std::string SysError::Message() const {
    return SystemMessage(code);
}

std::string SystemMessage(int code) {
    if (code < 0) {
        // Name lookup failures carry their own (negative) codes.
        return gai_strerror(code);
    }
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may or may not be `buffer`.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text ? std::string(text) : std::string("Unknown error");
}

SysError LastError() {
    return SysError{errno};
}

}  // namespace platform
