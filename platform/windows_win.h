#pragma once
// What the Windows files of this layer share: the system headers, text
// between UTF-8 (every path and text above this layer) and UTF-16 (the
// system's), paths in the form that lifts the old length limit, errors as
// values, and opens of one name inside a folder held open.

#include <windows.h>
#include <winternl.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file.h"

namespace platform::windows {

inline HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

inline NativeHandle AsNative(HANDLE handle) {
    return reinterpret_cast<NativeHandle>(handle);
}

// A code of GetLastError or WSAGetLastError as a value.
inline SysError SystemError(DWORD code) {
    return SysError{static_cast<int>(code), ErrorSource::System};
}

// The error of a native call's status.
SysError StatusError(NTSTATUS status);

// UTF-8 into UTF-16; nothing when the text is not UTF-8 or holds a NUL.
std::optional<std::wstring> Wide(std::string_view utf8);
// UTF-16 into UTF-8 (a lone surrogate becomes U+FFFD).
std::string Narrow(std::wstring_view wide);

// A path for the system's file calls: UTF-16, made absolute, and for a
// drive or network path in the \\?\ form, so that neither its length nor
// its levels' names are read any other way than as given. Fails with
// NameRefused() when the text is not UTF-8.
Result<std::wstring> SystemPath(const std::string& path);

// Opens one level's `name` (no separator) inside the folder `root`,
// through the native call that resolves a name relative to a handle, as
// openat does: nothing on the way can be a link. `options` are the native
// create options (FILE_OPEN_REPARSE_POINT, FILE_DIRECTORY_FILE ...).
Result<HANDLE> OpenInside(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                          ULONG disposition, ULONG options);

enum class Replace { No, Yes };

// Renames the open file (opened with DELETE access) to `name` inside
// `folder`: also over a file open elsewhere where the file system can (as
// rename does), else only over one that nobody holds open.
Status RenameInside(HANDLE file, HANDLE folder, std::wstring_view name, Replace replace);

// Removes the open file's name (opened with DELETE access), `name` in
// `folder`, at once, as unlink does, also while other handles keep it
// open: where the file system cannot drop the name of an open file (older
// Windows, FAT, Wine), the file is first renamed to a hidden name and goes
// when its last handle closes.
Status RemoveNow(HANDLE file, HANDLE folder, std::wstring_view name);

// The file's attributes and, for a reparse point, its tag.
struct Attributes {
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // A link of any kind (symbolic link, junction, mount point): a reparse
    // point that stands for another name. Other reparse points (cloud
    // placeholders, deduplicated files) are the file itself.
    bool IsLink() const;
};
Result<Attributes> AttributesOf(HANDLE handle);

// Owns a handle of the kernel (not a socket); closes it once.
class OwnedHandle {
  public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { Close(); }

    HANDLE get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Close() {
        if (IsValid()) {
            ::CloseHandle(handle_);
        }
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace platform::windows
