#include "platform/file.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/path.h"
#include "platform/windows_win.h"

// windows.h names DeleteFileW so; this layer's DeleteFile is its own.
#undef DeleteFile

namespace platform {
namespace {

using windows::AsHandle;
using windows::AsNative;
using windows::SystemError;

// Every handle of this layer shares reading, writing, renaming and deleting
// with every other, as POSIX opens do; what keeps two writers apart is the
// lock below, which every open of this layer takes.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The byte that the locks of this layer lock, far beyond any file's end:
// Windows locks are mandatory for the bytes they cover, so a lock on the
// data would fail other readers; a lock on this byte only meets other
// locks, as flock does on POSIX.
constexpr std::uint64_t kLockByte = std::uint64_t{1} << 62;

// One read or write moves at most this much.
constexpr DWORD kMostPerCall = DWORD{1} << 30;

// An event for this thread's overlapped calls (one at a time per thread).
HANDLE ThreadEvent() {
    thread_local windows::OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return event.get();
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    overlapped.hEvent = ThreadEvent();
    return overlapped;
}

// Waits for an overlapped call that `started` says how it began.
Result<DWORD> Finish(HANDLE handle, OVERLAPPED& overlapped, BOOL started) {
    if (!started && ::GetLastError() != ERROR_IO_PENDING) {
        return SystemError(::GetLastError());
    }
    DWORD done = 0;
    if (!::GetOverlappedResult(handle, &overlapped, &done, TRUE)) {
        return SystemError(::GetLastError());
    }
    return done;
}

Result<std::size_t> ReadOnce(HANDLE handle, void* buffer, std::size_t length,
                             std::uint64_t offset) {
    OVERLAPPED overlapped = At(offset);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length, kMostPerCall));
    const BOOL started = ::ReadFile(handle, buffer, want, nullptr, &overlapped);
    Result<DWORD> done = Finish(handle, overlapped, started);
    if (!done) {
        if (done.error().code == ERROR_HANDLE_EOF) {
            return std::size_t{0};
        }
        return done.error();
    }
    return static_cast<std::size_t>(*done);
}

Status WriteWhole(HANDLE handle, const void* data, std::size_t length, std::uint64_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        OVERLAPPED overlapped = At(offset);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length, kMostPerCall));
        const BOOL started = ::WriteFile(handle, p, want, nullptr, &overlapped);
        Result<DWORD> done = Finish(handle, overlapped, started);
        if (!done) {
            return done.error();
        }
        if (*done == 0) {
            return SystemError(ERROR_WRITE_FAULT);
        }
        p += *done;
        offset += *done;
        length -= *done;
    }
    return Status::Ok();
}

Status Lock(HANDLE handle, bool exclusive) {
    OVERLAPPED overlapped = At(kLockByte);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    const BOOL started = ::LockFileEx(handle, flags, 0, 1, 0, &overlapped);
    if (Result<DWORD> done = Finish(handle, overlapped, started); !done) {
        return done.error();
    }
    return Status::Ok();
}

Status SetEnd(HANDLE handle, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)) {
        return SystemError(::GetLastError());
    }
    return Status::Ok();
}

// A name that Windows takes for a device whatever folder it is in ("CON",
// "NUL.txt"), or a path in the device namespace: never opened from
// outside, as opening one can wait or act on the device.
bool NamesADevice(const std::string& path, const std::wstring& systemPath) {
    return systemPath.starts_with(L"\\\\.\\") ||
           !IsStorableName(FileNamePart(path), NameRules::Windows);
}

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, kNoHandle)), position_(std::exchange(other.position_, 0)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, kNoHandle);
        position_ = std::exchange(other.position_, 0);
    }
    return *this;
}

File::~File() {
    Close();
}

void File::Close() {
    if (fd_ != kNoHandle) {
        ::CloseHandle(AsHandle(fd_));
        fd_ = kNoHandle;
    }
    position_ = 0;
}

Result<File> File::Open(const std::string& path, FileAccess access) {
    auto wide = windows::SystemPath(path);
    if (!wide) {
        return wide.error();
    }
    DWORD rights = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (access) {
        case FileAccess::ReadShared:
            break;
        case FileAccess::ReadWrite:
            rights = GENERIC_READ | GENERIC_WRITE;
            break;
        case FileAccess::WriteExisting:
            rights = GENERIC_WRITE;
            break;
        case FileAccess::CreateAlways:
            rights = GENERIC_WRITE;
            disposition = OPEN_ALWAYS;  // cut only once the lock is held
            break;
        case FileAccess::ReadRegularOnly: {
            // Looked at before the open, so that a device or folder is never
            // opened at all; checked again on the open file in Adopt.
            if (NamesADevice(path, *wide)) {
                return SysError{EINVAL};
            }
            const DWORD attributes = ::GetFileAttributesW(wide->c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                return LastError();
            }
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return SysError{EINVAL};
            }
            break;
        }
    }
    const HANDLE handle = ::CreateFileW(wide->c_str(), rights, kShareAll, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    return Adopt(File(AsNative(handle)), access);
}

Result<File> File::Adopt(File file, FileAccess access) {
    const HANDLE handle = AsHandle(file.fd_);
    if (access == FileAccess::ReadRegularOnly) {
        auto attributes = windows::AttributesOf(handle);
        if (!attributes) {
            return attributes.error();
        }
        if (::GetFileType(handle) != FILE_TYPE_DISK || attributes->IsFolder()) {
            return SysError{EINVAL};
        }
    }
    const bool shared = access == FileAccess::ReadShared || access == FileAccess::ReadRegularOnly;
    if (Status locked = Lock(handle, !shared); !locked) {
        return locked.error();
    }
    // Cut only once the lock is ours, so that a refused open never destroys
    // another holder's data.
    if (access == FileAccess::CreateAlways) {
        if (Status cut = SetEnd(handle, 0); !cut) {
            return cut.error();
        }
    }
    return file;
}

Result<std::uint64_t> File::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(fd_), &size)) {
        return LastError();
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

Result<std::size_t> File::Read(void* buffer, std::size_t length) {
    auto n = ReadOnce(AsHandle(fd_), buffer, length, position_);
    if (n) {
        position_ += *n;
    }
    return n;
}

Result<std::size_t> File::ReadAt(void* buffer, std::size_t length, std::uint64_t offset) const {
    return ReadOnce(AsHandle(fd_), buffer, length, offset);
}

Status File::WriteAllAt(const void* data, std::size_t length, std::uint64_t offset) const {
    return WriteWhole(AsHandle(fd_), data, length, offset);
}

Status File::WriteAll(const void* data, std::size_t length) {
    // The position moves past what was written, also when a write failed
    // part of the way (as the POSIX write loop leaves it).
    const Status written = WriteWhole(AsHandle(fd_), data, length, position_);
    if (written) {
        position_ += length;
    } else if (auto size = Size(); size && *size > position_) {
        position_ = std::min(*size, position_ + length);
    }
    return written;
}

Status File::Seek(std::uint64_t offset) {
    position_ = offset;
    return Status::Ok();
}

Status File::SeekToEnd() {
    auto size = Size();
    if (!size) {
        return size.error();
    }
    position_ = *size;
    return Status::Ok();
}

Status File::Truncate(std::uint64_t size) {
    if (Status cut = SetEnd(AsHandle(fd_), size); !cut) {
        return cut;
    }
    return Seek(size);
}

Result<FileTime> File::LastWriteTime() const {
    FILETIME written{};
    if (!::GetFileTime(AsHandle(fd_), nullptr, nullptr, &written)) {
        return LastError();
    }
    return FileTime{(std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime};
}

Status File::SetLastWriteTime(FileTime time) {
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(time.ticks);
    written.dwHighDateTime = static_cast<DWORD>(time.ticks >> 32);
    if (!::SetFileTime(AsHandle(fd_), nullptr, nullptr, &written)) {
        return LastError();
    }
    return Status::Ok();
}

Result<FileIdentity> File::Identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(AsHandle(fd_), &info)) {
        return LastError();
    }
    // The volume's serial number and the file's index on it. NTFS gives an
    // index that is used again only with a new sequence number in its top
    // bits, so no birth time is needed to tell a new file apart.
    FileIdentity identity;
    identity.device = info.dwVolumeSerialNumber;
    identity.number = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return identity;
}

Status File::TryLockExclusive() {
    return Lock(AsHandle(fd_), true);
}

Result<FileInfo> GetFileInfo(const std::string& path) {
    auto wide = windows::SystemPath(path);
    if (!wide) {
        return wide.error();
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)) {
        return LastError();
    }
    FileInfo info;
    info.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    info.lastWrite = FileTime{(std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                              data.ftLastWriteTime.dwLowDateTime};
    return info;
}

bool Exists(const std::string& path) {
    return GetFileInfo(path).ok();
}

Status CopyFileReplace(const std::string& from, const std::string& to) {
    auto source = windows::SystemPath(from);
    auto target = windows::SystemPath(to);
    if (!source || !target) {
        return source ? target.error() : source.error();
    }
    if (!::CopyFileW(source->c_str(), target->c_str(), FALSE)) {
        return LastError();
    }
    return Status::Ok();
}

Status MoveFileReplace(const std::string& from, const std::string& to) {
    auto source = windows::SystemPath(from);
    auto target = windows::SystemPath(to);
    if (!source || !target) {
        return source ? target.error() : source.error();
    }
    if (!::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return LastError();
    }
    return Status::Ok();
}

Status DeleteFile(const std::string& path) {
    auto wide = windows::SystemPath(path);
    if (!wide) {
        return wide.error();
    }
    // The folder and the name in it, so that the name goes at once (as
    // unlink's does) even while someone holds the file open.
    const std::size_t split = wide->find_last_of(L'\\');
    if (split == std::wstring::npos || split + 1 == wide->size()) {
        return SystemError(ERROR_INVALID_NAME);
    }
    std::wstring folderPath = wide->substr(0, split);
    const std::wstring name = wide->substr(split + 1);
    if (folderPath.ends_with(L':')) {
        folderPath.push_back(L'\\');  // a drive's root
    }
    const windows::OwnedHandle folder(::CreateFileW(folderPath.c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                                    kShareAll, nullptr, OPEN_EXISTING,
                                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.IsValid()) {
        return LastError();
    }
    // A link itself, never what it points to; never a folder.
    auto file = windows::OpenInside(folder.get(), name, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN,
                                    FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    if (!file) {
        return file.error();
    }
    const windows::OwnedHandle owned(*file);
    return windows::RemoveNow(owned.get(), folder.get(), name);
}

Status CreateFolder(const std::string& path) {
    auto wide = windows::SystemPath(path);
    if (!wide) {
        return wide.error();
    }
    if (!::CreateDirectoryW(wide->c_str(), nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS) {
            const DWORD attributes = ::GetFileAttributesW(wide->c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return Status::Ok();
            }
            return SysError{ENOTDIR};
        }
        return SystemError(error);
    }
    return Status::Ok();
}

void Mapping::Unmap() {
    if (base_ != nullptr) {
        ::UnmapViewOfFile(base_);
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
    static const std::uint64_t kGranularity = [] {
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        return static_cast<std::uint64_t>(info.dwAllocationGranularity);
    }();
    const std::uint64_t aligned = offset - offset % kGranularity;
    const std::size_t lead = static_cast<std::size_t>(offset - aligned);
    const bool readOnly = access == MapAccess::ReadOnly;
    // The mapping object may go at once: the view keeps what it needs.
    const windows::OwnedHandle section(
        ::CreateFileMappingW(AsHandle(file.Descriptor()), nullptr,
                             readOnly ? PAGE_READONLY : PAGE_READWRITE, 0, 0, nullptr));
    if (!section.IsValid()) {
        return LastError();
    }
    void* base = ::MapViewOfFile(section.get(), readOnly ? FILE_MAP_READ : FILE_MAP_WRITE,
                                 static_cast<DWORD>(aligned >> 32), static_cast<DWORD>(aligned),
                                 length + lead);
    if (base == nullptr) {
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
