#include "platform/folder.h"

#include "platform/statx_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

namespace platform {
namespace {

// One level's name: anything else could reach beside or above the folder.
bool IsOneLevel(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

int Retried(auto call) {
    int result = -1;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

EntryKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::Regular;
    }
    if (S_ISDIR(mode)) {
        return EntryKind::Folder;
    }
    if (S_ISLNK(mode)) {
        return EntryKind::Link;
    }
    return EntryKind::Other;
}

}  // namespace

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Folder::~Folder() {
    Close();
}

void Folder::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Result<Folder> Folder::Open(const std::string& path) {
    const int fd =
        Retried([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
        return LastError();
    }
    return Folder(fd);
}

Result<Folder> Folder::Duplicate() const {
    const int fd = Retried([&] { return ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
        return LastError();
    }
    return Folder(fd);
}

Result<Folder> Folder::Enter(std::string_view name) const {
    if (!IsOneLevel(name)) {
        return SysError{EINVAL};
    }
    const std::string level(name);
    // O_NOFOLLOW refuses a link (ELOOP), O_DIRECTORY anything but a folder
    // (ENOTDIR); neither opens a FIFO or device.
    const int fd = Retried([&] {
        return ::openat(fd_, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fd < 0) {
        return LastError();
    }
    return Folder(fd);
}

Result<Folder> Folder::EnterOrCreate(std::string_view name) const {
    if (!IsOneLevel(name)) {
        return SysError{EINVAL};
    }
    const std::string level(name);
    if (::mkdirat(fd_, level.c_str(), 0755) != 0 && errno != EEXIST) {
        return LastError();
    }
    return Enter(name);
}

Result<EntryInfo> Folder::Inspect(std::string_view name) const {
    if (!IsOneLevel(name)) {
        return SysError{EINVAL};
    }
    const std::string entry(name);
    struct statx sx {};
    if (::statx(fd_, entry.c_str(), AT_SYMLINK_NOFOLLOW,
                STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_INO | STATX_BTIME, &sx) != 0) {
        return LastError();
    }
    EntryInfo info;
    info.kind = KindOf(sx.stx_mode);
    info.size = sx.stx_size;
    info.lastWrite = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    info.identity = IdentityFromStatx(sx);
    return info;
}

Result<File> Folder::OpenRegular(std::string_view name, int accessFlags) const {
    if (!IsOneLevel(name)) {
        return SysError{EINVAL};
    }
    const std::string entry(name);
    // Non-blocking, so that a FIFO given the name cannot hold the open; it
    // is refused below in any case.
    const int fd = Retried([&] {
        return ::openat(fd_, entry.c_str(), accessFlags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    });
    if (fd < 0) {
        return LastError();
    }
    File file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return LastError();
    }
    if (!S_ISREG(st.st_mode)) {
        return SysError{S_ISDIR(st.st_mode) ? EISDIR : ENODEV};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return LastError();
    }
    return file;
}

Result<File> Folder::OpenUnlocked(std::string_view name) const {
    return OpenRegular(name, O_RDWR);
}

Result<File> Folder::OpenFile(std::string_view name, FileAccess access) const {
    int flags = O_WRONLY;
    switch (access) {
        case FileAccess::ReadShared:
        case FileAccess::ReadRegularOnly:
            flags = O_RDONLY;
            break;
        case FileAccess::ReadWrite:
            flags = O_RDWR;
            break;
        case FileAccess::WriteExisting:
            break;
        case FileAccess::CreateAlways:
            return SysError{EINVAL};
    }
    auto file = OpenRegular(name, flags);
    if (!file) {
        return file.error();
    }
    return File::Adopt(std::move(*file), access);
}

Result<File> Folder::CreateNew(std::string_view name) const {
    if (!IsOneLevel(name)) {
        return SysError{EINVAL};
    }
    const std::string entry(name);
    // O_EXCL fails for anything that has the name, a dangling link
    // included, so nothing is ever created where a link points.
    const int fd = Retried([&] {
        return ::openat(fd_, entry.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0644);
    });
    if (fd < 0) {
        return LastError();
    }
    return File::Adopt(File(fd), FileAccess::WriteExisting);
}

Status Folder::Rename(std::string_view from, std::string_view to) const {
    if (!IsOneLevel(from) || !IsOneLevel(to)) {
        return SysError{EINVAL};
    }
    const std::string source(from);
    const std::string target(to);
    if (::renameat(fd_, source.c_str(), fd_, target.c_str()) != 0) {
        return LastError();
    }
    return Status::Ok();
}

Status Folder::Remove(std::string_view name) const {
    if (!IsOneLevel(name)) {
        return SysError{EINVAL};
    }
    const std::string entry(name);
    if (::unlinkat(fd_, entry.c_str(), 0) != 0) {
        return LastError();
    }
    return Status::Ok();
}

Status Folder::RenameIfStill(std::string_view from, const FileIdentity& identity,
                             std::string_view to) const {
    auto now = Inspect(from);
    if (!now) {
        return now.error();
    }
    if (now->identity != identity) {
        return SysError{ESTALE};
    }
    return Rename(from, to);
}

Status Folder::RemoveIfStill(std::string_view name, const FileIdentity& identity) const {
    auto now = Inspect(name);
    if (!now) {
        return now.error();
    }
    if (now->identity != identity) {
        return SysError{ESTALE};
    }
    return Remove(name);
}

Result<std::vector<std::string>> Folder::Names() const {
    // A descriptor of its own: reading a directory moves its position.
    auto own = Duplicate();
    if (!own) {
        return own.error();
    }
    DIR* stream = ::fdopendir(own->fd_);
    if (stream == nullptr) {
        return LastError();
    }
    own->fd_ = -1;  // the stream owns it now
    std::unique_ptr<DIR, int (*)(DIR*)> owner(stream, &::closedir);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    if (errno != 0) {
        return LastError();
    }
    return names;
}

Result<std::uint64_t> Folder::FreeBytes() const {
    struct statvfs vfs {};
    if (::fstatvfs(fd_, &vfs) != 0) {
        return LastError();
    }
    return static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
}

}  // namespace platform
