#include "platform/folder.h"

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/path.h"
#include "platform/windows_win.h"

namespace platform {
namespace {

using windows::AsHandle;
using windows::AsNative;
using windows::OwnedHandle;
using windows::SystemError;

// Folders are opened for listing and for opening what is inside them, with
// synchronous calls (the listing needs them).
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr ULONG kFolderOptions =
    FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;

// Stands for ESTALE, which Windows lacks: the name holds another file now.
constexpr DWORD kNoLongerThatFile = ERROR_FILE_INVALID;

// One level's name: anything else could reach beside or above the folder,
// or be read by Windows as something else ("CON", "a.", "a:stream").
Result<std::wstring> OneLevel(std::string_view name) {
    if (!IsStorableName(name, NameRules::Windows)) {
        return SysError{EINVAL};
    }
    std::optional<std::wstring> wide = windows::Wide(name);
    if (!wide) {
        return SystemError(ERROR_NO_UNICODE_TRANSLATION);
    }
    return std::move(*wide);
}

// Opens what has the name, a link itself rather than what it points to.
Result<OwnedHandle> OpenEntry(HANDLE folder, std::string_view name, ACCESS_MASK access,
                              ULONG options) {
    auto level = OneLevel(name);
    if (!level) {
        return level.error();
    }
    auto opened =
        windows::OpenInside(folder, *level, access, FILE_OPEN, options | FILE_OPEN_REPARSE_POINT);
    if (!opened) {
        return opened.error();
    }
    return OwnedHandle(*opened);
}

EntryKind KindOf(HANDLE handle, const windows::Attributes& attributes) {
    if (attributes.IsLink()) {
        return EntryKind::Link;
    }
    if (attributes.IsFolder()) {
        return EntryKind::Folder;
    }
    return ::GetFileType(handle) == FILE_TYPE_DISK ? EntryKind::Regular : EntryKind::Other;
}

Result<FileIdentity> IdentityOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        return LastError();
    }
    FileIdentity identity;
    identity.device = info.dwVolumeSerialNumber;
    identity.number = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return identity;
}

// Renames the open file to `to` in `folder`, replacing what has that name.
Status RenameOpen(HANDLE handle, HANDLE folder, std::string_view to) {
    auto target = OneLevel(to);
    if (!target) {
        return target.error();
    }
    return windows::RenameInside(handle, folder, *target, windows::Replace::Yes);
}

// Opens `name` for renaming or removing, only while it still holds the
// file of `identity` (any identity when none is given).
Result<OwnedHandle> OpenToChange(HANDLE folder, std::string_view name,
                                 const FileIdentity* identity) {
    auto entry = OpenEntry(folder, name, DELETE | FILE_READ_ATTRIBUTES, 0);
    if (!entry) {
        return entry.error();
    }
    if (identity != nullptr) {
        auto now = IdentityOf(entry->get());
        if (!now) {
            return now.error();
        }
        if (*now != *identity) {
            return SystemError(kNoLongerThatFile);
        }
    }
    return std::move(*entry);
}

Status RemoveEntry(HANDLE folder, std::string_view name, const FileIdentity* identity) {
    auto entry = OpenToChange(folder, name, identity);
    if (!entry) {
        return entry.error();
    }
    auto attributes = windows::AttributesOf(entry->get());
    if (!attributes) {
        return attributes.error();
    }
    if (attributes->IsFolder() && !attributes->IsLink()) {
        return SysError{EISDIR};  // a folder is never removed here
    }
    return windows::RemoveNow(entry->get(), folder, *windows::Wide(name));
}

Status RenameEntry(HANDLE folder, std::string_view from, const FileIdentity* identity,
                   std::string_view to) {
    auto entry = OpenToChange(folder, from, identity);
    if (!entry) {
        return entry.error();
    }
    return RenameOpen(entry->get(), folder, to);
}

}  // namespace

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, kNoHandle)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, kNoHandle);
    }
    return *this;
}

Folder::~Folder() {
    Close();
}

void Folder::Close() {
    if (fd_ != kNoHandle) {
        ::CloseHandle(AsHandle(fd_));
        fd_ = kNoHandle;
    }
}

Result<Folder> Folder::Open(const std::string& path) {
    auto wide = windows::SystemPath(path);
    if (!wide) {
        return wide.error();
    }
    // Links on the way, and the folder itself, are the person's choice and
    // are followed.
    const HANDLE handle =
        ::CreateFileW(wide->c_str(), kFolderAccess | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    Folder folder(AsNative(handle));
    auto attributes = windows::AttributesOf(handle);
    if (!attributes) {
        return attributes.error();
    }
    if (!attributes->IsFolder()) {
        return SysError{ENOTDIR};
    }
    return folder;
}

Result<Folder> Folder::Duplicate() const {
    // The empty name inside a folder is the folder itself: a handle of its
    // own, with its own listing position.
    auto opened = windows::OpenInside(AsHandle(fd_), L"", kFolderAccess, FILE_OPEN, kFolderOptions);
    if (!opened) {
        return opened.error();
    }
    return Folder(AsNative(*opened));
}

Result<Folder> Folder::Enter(std::string_view name) const {
    auto entry = OpenEntry(AsHandle(fd_), name, kFolderAccess, kFolderOptions);
    if (!entry) {
        return entry.error();
    }
    auto attributes = windows::AttributesOf(entry->get());
    if (!attributes) {
        return attributes.error();
    }
    if (attributes->IsLink()) {
        return SysError{ELOOP};  // a junction or link is never entered
    }
    return Folder(AsNative(entry->Release()));
}

Result<Folder> Folder::EnterOrCreate(std::string_view name) const {
    auto level = OneLevel(name);
    if (!level) {
        return level.error();
    }
    auto made =
        windows::OpenInside(AsHandle(fd_), *level, kFolderAccess, FILE_CREATE, kFolderOptions);
    if (made) {
        ::CloseHandle(*made);
    } else if (made.error().source != ErrorSource::Errno || made.error().code != EEXIST) {
        return made.error();
    }
    return Enter(name);
}

Result<EntryInfo> Folder::Inspect(std::string_view name) const {
    auto entry = OpenEntry(AsHandle(fd_), name, FILE_READ_ATTRIBUTES, 0);
    if (!entry) {
        return entry.error();
    }
    auto attributes = windows::AttributesOf(entry->get());
    if (!attributes) {
        return attributes.error();
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(entry->get(), &info)) {
        return LastError();
    }
    EntryInfo out;
    out.kind = KindOf(entry->get(), *attributes);
    out.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    out.lastWrite = FileTime{(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                             info.ftLastWriteTime.dwLowDateTime};
    out.identity.device = info.dwVolumeSerialNumber;
    out.identity.number = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return out;
}

Result<File> Folder::OpenUnlocked(std::string_view name) const {
    // Files are opened for overlapped calls, as File::Open opens them.
    auto entry =
        OpenEntry(AsHandle(fd_), name, GENERIC_READ | GENERIC_WRITE, FILE_NON_DIRECTORY_FILE);
    if (!entry) {
        return entry.error();
    }
    auto attributes = windows::AttributesOf(entry->get());
    if (!attributes) {
        return attributes.error();
    }
    if (attributes->IsLink() || ::GetFileType(entry->get()) != FILE_TYPE_DISK) {
        return SysError{attributes->IsLink() ? ELOOP : ENODEV};
    }
    return File(AsNative(entry->Release()));
}

Result<File> Folder::OpenFile(std::string_view name, FileAccess access) const {
    ACCESS_MASK rights = GENERIC_WRITE;
    switch (access) {
        case FileAccess::ReadShared:
        case FileAccess::ReadRegularOnly:
            rights = GENERIC_READ;
            break;
        case FileAccess::ReadWrite:
            rights = GENERIC_READ | GENERIC_WRITE;
            break;
        case FileAccess::WriteExisting:
            break;
        case FileAccess::CreateAlways:
            return SysError{EINVAL};
    }
    auto entry = OpenEntry(AsHandle(fd_), name, rights, FILE_NON_DIRECTORY_FILE);
    if (!entry) {
        return entry.error();
    }
    auto attributes = windows::AttributesOf(entry->get());
    if (!attributes) {
        return attributes.error();
    }
    if (attributes->IsLink() || ::GetFileType(entry->get()) != FILE_TYPE_DISK) {
        return SysError{attributes->IsLink() ? ELOOP : ENODEV};
    }
    return File::Adopt(File(AsNative(entry->Release())), access);
}

Result<File> Folder::CreateNew(std::string_view name) const {
    auto level = OneLevel(name);
    if (!level) {
        return level.error();
    }
    // FILE_CREATE fails for anything that has the name, a link included,
    // so nothing is ever created where a link points.
    auto made = windows::OpenInside(AsHandle(fd_), *level, GENERIC_READ | GENERIC_WRITE,
                                    FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    if (!made) {
        return made.error();
    }
    return File::Adopt(File(AsNative(*made)), FileAccess::WriteExisting);
}

Status Folder::Rename(std::string_view from, std::string_view to) const {
    return RenameEntry(AsHandle(fd_), from, nullptr, to);
}

Status Folder::Remove(std::string_view name) const {
    return RemoveEntry(AsHandle(fd_), name, nullptr);
}

Status Folder::RenameIfStill(std::string_view from, const FileIdentity& identity,
                             std::string_view to) const {
    return RenameEntry(AsHandle(fd_), from, &identity, to);
}

Status Folder::RemoveIfStill(std::string_view name, const FileIdentity& identity) const {
    return RemoveEntry(AsHandle(fd_), name, &identity);
}

Result<std::vector<std::string>> Folder::Names() const {
    // A handle of its own: listing moves a handle's position.
    auto own = Duplicate();
    if (!own) {
        return own.error();
    }
    std::vector<std::string> names;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;;
         kind = FileFullDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(AsHandle(own->fd_), kind, buffer.data(),
                                            static_cast<DWORD>(buffer.size()))) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) {
                return names;
            }
            return LastError();
        }
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer.data() + at);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                names.push_back(windows::Narrow(name));
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            at += entry->NextEntryOffset;
        }
    }
}

Result<std::uint64_t> Folder::FreeBytes() const {
    // The folder's own path (the volume it is on now), then the bytes this
    // user may still write there.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(AsHandle(fd_), path.data(),
                                                    static_cast<DWORD>(path.size()), 0);
        if (n == 0) {
            return LastError();
        }
        if (n < path.size()) {
            break;
        }
        path.resize(n + 1);
    }
    std::wstring folder(path.data());
    if (!folder.ends_with(L'\\')) {
        folder.push_back(L'\\');
    }
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        return LastError();
    }
    return static_cast<std::uint64_t>(available.QuadPart);
}

}  // namespace platform
