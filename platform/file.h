#pragma once
// Files, folders and memory mappings. Every handle has a move-only owner
// that closes it on every path.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/file_time.h"

namespace platform {

// A handle of the system as this layer keeps it: a descriptor on POSIX
// systems, a HANDLE or SOCKET on Windows (both fit; neither is ever -1 when
// valid).
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// How a file is opened. The "exclusive" modes take an exclusive share lock,
// the shared mode a shared one, so that a conflicting open reports a sharing
// violation.
enum class FileAccess {
    ReadShared,     // read an existing file; other readers allowed
    ReadWrite,      // read and write an existing file, exclusively
    WriteExisting,  // write an existing file, exclusively
    CreateAlways,   // create, or truncate an existing file, and write exclusively
    // Read an existing regular file; other readers allowed. Neither the open
    // nor a read ever waits: a FIFO, device, socket or folder is refused
    // (EINVAL) rather than opened, since opening some of them blocks or
    // acts on the device.
    ReadRegularOnly,
};

// What tells one file from another on a machine, also after a rename: its
// device and number, and its birth time where the file system keeps one,
// so that a number given again to a new file is told apart.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::int64_t bornSeconds = 0;  // 0 and 0: the file system keeps no birth time
    std::int64_t bornNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;
};

class File {
  public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    static Result<File> Open(const std::string& path, FileAccess access);

    bool IsOpen() const { return fd_ != kNoHandle; }
    NativeHandle Descriptor() const { return fd_; }

    Result<std::uint64_t> Size() const;
    // One read of at most `length` bytes; 0 at the end of the file.
    Result<std::size_t> Read(void* buffer, std::size_t length);
    // Writes all bytes, retrying short writes.
    Status WriteAll(const void* data, std::size_t length);
    // One read of at most `length` bytes at `offset`, leaving the file
    // position alone (so threads may read one file side by side); 0 at the
    // end of the file.
    Result<std::size_t> ReadAt(void* buffer, std::size_t length, std::uint64_t offset) const;
    // Writes all bytes at `offset`, retrying short writes, leaving the file
    // position alone.
    Status WriteAllAt(const void* data, std::size_t length, std::uint64_t offset) const;
    Status Seek(std::uint64_t offset);
    Status SeekToEnd();
    // Sets the end of the file at `size` (cutting or extending it).
    Status Truncate(std::uint64_t size);
    Result<FileTime> LastWriteTime() const;
    // Sets the last-write time only; the access time stays.
    Status SetLastWriteTime(FileTime time);
    Result<FileIdentity> Identity() const;
    // Takes the exclusive lock that every open of this layer respects, as
    // long as this owner lives; fails (SharingViolation) while any other
    // open holds a lock on the file.
    Status TryLockExclusive();
    void Close();

  private:
    friend class Folder;
    explicit File(NativeHandle fd) : fd_(fd) {}
    // Finishes an open for `access`: refuses a folder for writing, takes
    // the access's lock, and truncates for CreateAlways once the lock is
    // held.
    static Result<File> Adopt(File file, FileAccess access);
    NativeHandle fd_ = kNoHandle;
    // Where Read and WriteAll go on, for systems whose handles keep no
    // position that ReadAt and WriteAllAt would leave alone (Windows opens
    // files for overlapped I/O); unused where the system keeps it (POSIX).
    std::uint64_t position_ = 0;
};

struct FileInfo {
    bool isDirectory = false;
    std::uint64_t size = 0;
    FileTime lastWrite;
};

// Attributes of a file or folder; fails (NotFound) when nothing is there.
Result<FileInfo> GetFileInfo(const std::string& path);
bool Exists(const std::string& path);
// Copies a file, replacing the target.
Status CopyFileReplace(const std::string& from, const std::string& to);
// Renames a file, atomically replacing the target.
Status MoveFileReplace(const std::string& from, const std::string& to);
Status DeleteFile(const std::string& path);
// Creates one folder; an existing folder counts as success.
Status CreateFolder(const std::string& path);
// Reads at most `limit` bytes from the start of a file.
Result<std::string> ReadFileStart(const std::string& path, std::size_t limit);
// The same for a path given from outside, which may name anything: only a
// regular file is read (FileAccess::ReadRegularOnly).
Result<std::string> ReadRegularFileStart(const std::string& path, std::size_t limit);
// Creates or replaces a file with the given bytes.
Status WriteWholeFile(const std::string& path, const std::string& bytes);

enum class MapAccess { ReadOnly, ReadWrite };

// A view of part of an open file mapped into memory. Offsets need no
// alignment; the view is unmapped when its owner goes.
class Mapping {
  public:
    Mapping() = default;
    Mapping(Mapping&& other) noexcept;
    Mapping& operator=(Mapping&& other) noexcept;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping();

    // Fails for a zero length.
    static Result<Mapping> Map(const File& file, std::uint64_t offset, std::size_t length,
                               MapAccess access);

    std::uint8_t* data() const { return view_; }
    std::size_t size() const { return length_; }
    void Unmap();

  private:
    void* base_ = nullptr;
    std::size_t baseLength_ = 0;
    std::uint8_t* view_ = nullptr;
    std::size_t length_ = 0;
};

}  // namespace platform
