#include "platform/file.h"

#include "platform/statx_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace platform {
namespace {

Status FromErrorCode(const std::error_code& ec) {
    return ec ? Status(SysError{ec.value()}) : Status::Ok();
}

FileTime ModificationTime(const struct stat& st) {
    return FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

Status RegularFileOnly(const struct stat& st) {
    return S_ISREG(st.st_mode) ? Status::Ok() : Status(SysError{EINVAL});
}

}  // namespace

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

File::~File() {
    Close();
}

void File::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Result<File> File::Open(const std::string& path, FileAccess access) {
    int flags = O_CLOEXEC;
    switch (access) {
        case FileAccess::ReadShared:
            flags |= O_RDONLY;
            break;
        case FileAccess::ReadWrite:
            flags |= O_RDWR;
            break;
        case FileAccess::WriteExisting:
            flags |= O_WRONLY;
            break;
        case FileAccess::CreateAlways:
            flags |= O_WRONLY | O_CREAT;
            break;
        case FileAccess::ReadRegularOnly: {
            // Looked at before the open, so that a FIFO or device is never
            // opened at all; checked again on the open file below, in case
            // the name was replaced in between.
            flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
            struct stat before {};
            if (::stat(path.c_str(), &before) != 0) {
                return LastError();
            }
            if (Status regular = RegularFileOnly(before); !regular) {
                return regular.error();
            }
            break;
        }
    }
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return LastError();
    }
    return Adopt(File(fd), access);
}

Result<File> File::Adopt(File file, FileAccess access) {
    struct stat st {};
    if (access == FileAccess::ReadRegularOnly) {
        if (::fstat(file.fd_, &st) != 0) {
            return LastError();
        }
        if (Status regular = RegularFileOnly(st); !regular) {
            return regular.error();
        }
    } else if (::fstat(file.fd_, &st) == 0 && S_ISDIR(st.st_mode) &&
               access != FileAccess::ReadShared) {
        return SysError{EISDIR};
    }
    const bool shared = access == FileAccess::ReadShared || access == FileAccess::ReadRegularOnly;
    if (::flock(file.fd_, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        return LastError();
    }
    // Truncate only once the lock is ours, so that a refused open never
    // destroys another holder's data.
    if (access == FileAccess::CreateAlways && ::ftruncate(file.fd_, 0) != 0) {
        return LastError();
    }
    return file;
}

Result<std::uint64_t> File::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return LastError();
    }
    return static_cast<std::uint64_t>(st.st_size);
}

Result<std::size_t> File::Read(void* buffer, std::size_t length) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, length);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            return LastError();
        }
    }
}

Result<std::size_t> File::ReadAt(void* buffer, std::size_t length, std::uint64_t offset) const {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, length, static_cast<off_t>(offset));
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            return LastError();
        }
    }
}

Status File::WriteAllAt(const void* data, std::size_t length, std::uint64_t offset) const {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::pwrite(fd_, p, length, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return Status::Ok();
}

Status File::WriteAll(const void* data, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd_, p, length);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return Status::Ok();
}

Status File::Seek(std::uint64_t offset) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return LastError();
    }
    return Status::Ok();
}

Status File::SeekToEnd() {
    if (::lseek(fd_, 0, SEEK_END) < 0) {
        return LastError();
    }
    return Status::Ok();
}

Status File::Truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        return LastError();
    }
    return Seek(size);
}

Result<FileTime> File::LastWriteTime() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return LastError();
    }
    return ModificationTime(st);
}

Status File::SetLastWriteTime(FileTime time) {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    FileTimeToUnix(time, &seconds, &nanoseconds);
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    if (::futimens(fd_, times) != 0) {
        return LastError();
    }
    return Status::Ok();
}

Result<FileIdentity> File::Identity() const {
    struct statx sx {};
    if (::statx(fd_, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0) {
        return LastError();
    }
    return IdentityFromStatx(sx);
}

FileIdentity IdentityFromStatx(const struct statx& sx) {
    FileIdentity identity;
    identity.device = ::makedev(sx.stx_dev_major, sx.stx_dev_minor);
    identity.number = sx.stx_ino;
    if ((sx.stx_mask & STATX_BTIME) != 0) {
        identity.bornSeconds = sx.stx_btime.tv_sec;
        identity.bornNanoseconds = sx.stx_btime.tv_nsec;
    }
    return identity;
}

Status File::TryLockExclusive() {
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        return LastError();
    }
    return Status::Ok();
}

Result<FileInfo> GetFileInfo(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return LastError();
    }
    FileInfo info;
    info.isDirectory = S_ISDIR(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.lastWrite = ModificationTime(st);
    return info;
}

bool Exists(const std::string& path) {
    return GetFileInfo(path).ok();
}

Status CopyFileReplace(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    return FromErrorCode(ec);
}

Status MoveFileReplace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return LastError();
    }
    return Status::Ok();
}

Status DeleteFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) {
        return LastError();
    }
    return Status::Ok();
}

Status CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0) {
        if (errno == EEXIST) {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                return Status::Ok();
            }
            return SysError{ENOTDIR};
        }
        return LastError();
    }
    return Status::Ok();
}

void Mapping::Unmap() {
    if (base_ != nullptr) {
        ::munmap(base_, baseLength_);
        base_ = nullptr;
        view_ = nullptr;
        baseLength_ = 0;
        length_ = 0;
    }
}

Result<Mapping> Mapping::Map(const File& file, std::uint64_t offset, std::size_t length,
                             MapAccess access) {
    if (length == 0 || !file.IsOpen()) {
        return SysError{EINVAL};
    }
    static const std::uint64_t kPage = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t aligned = offset - offset % kPage;
    const std::size_t lead = static_cast<std::size_t>(offset - aligned);
    const int protection = access == MapAccess::ReadOnly ? PROT_READ : PROT_READ | PROT_WRITE;
    void* base = ::mmap(nullptr, length + lead, protection, MAP_SHARED, file.Descriptor(),
                        static_cast<off_t>(aligned));
    if (base == MAP_FAILED) {
        return LastError();
    }
    Mapping mapping;
    mapping.base_ = base;
    mapping.baseLength_ = length + lead;
    mapping.view_ = static_cast<std::uint8_t*>(base) + lead;
    mapping.length_ = length;
    return mapping;
}

}  // namespace platform
