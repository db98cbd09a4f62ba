#pragma once
// A folder held open, and the files and folders below it reached through
// it one level at a time. Below the folder a person chose, nothing is ever
// reached through a link: a link, FIFO or device where a file or folder is
// expected is refused (WrongKind), never followed or opened, so nothing
// outside the folder is created, changed or read, and no open blocks.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"

namespace platform {

enum class EntryKind { Regular, Folder, Link, Other };

struct EntryInfo {
    EntryKind kind = EntryKind::Other;
    std::uint64_t size = 0;
    FileTime lastWrite;
    FileIdentity identity;
};

class Folder {
  public:
    Folder() = default;
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    // The folder at a full path, as a person chose it: links on the way to
    // it are theirs and are followed.
    static Result<Folder> Open(const std::string& path);

    bool IsOpen() const { return fd_ != kNoHandle; }
    // A second handle of the same folder.
    Result<Folder> Duplicate() const;

    // The folder of that name inside this one.
    Result<Folder> Enter(std::string_view name) const;
    // The same, made first when nothing has the name.
    Result<Folder> EnterOrCreate(std::string_view name) const;
    // What has the name here (a link itself, not what it points to);
    // NotFound when nothing.
    Result<EntryInfo> Inspect(std::string_view name) const;
    // Opens an existing regular file, locked as File::Open locks for
    // `access` (CreateAlways is refused with EINVAL: use CreateNew).
    Result<File> OpenFile(std::string_view name, FileAccess access) const;
    // Opens an existing regular file for reading and writing without
    // taking a lock, so that the caller can learn whose it is first.
    Result<File> OpenUnlocked(std::string_view name) const;
    // Creates a file under a name that nothing has (EEXIST otherwise, a
    // dangling link included), for reading and writing, locked
    // exclusively.
    Result<File> CreateNew(std::string_view name) const;
    // Renames within this folder, replacing what has the name `to` (a
    // link there is replaced, not followed).
    Status Rename(std::string_view from, std::string_view to) const;
    // Removes a file or a link (never a folder).
    Status Remove(std::string_view name) const;
    // Rename and Remove, only while the name still holds the file of that
    // identity (ESTALE otherwise), so that a file that took the name meanwhile
    // is left alone.
    Status RenameIfStill(std::string_view from, const FileIdentity& identity,
                         std::string_view to) const;
    Status RemoveIfStill(std::string_view name, const FileIdentity& identity) const;
    // The names of everything in the folder, "." and ".." left out.
    Result<std::vector<std::string>> Names() const;
    // The bytes this user may still write on the folder's file system.
    Result<std::uint64_t> FreeBytes() const;

  private:
    explicit Folder(NativeHandle fd) : fd_(fd) {}
    // Opens a regular file without waiting and without a lock.
    Result<File> OpenRegular(std::string_view name, int accessFlags) const;
    void Close();
    NativeHandle fd_ = kNoHandle;
};

}  // namespace platform
