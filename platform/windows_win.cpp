#include "platform/windows_win.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace platform::windows {
namespace {

// The few native statuses whose Win32 translation would lose what they
// say (a folder where a file was asked for reads as "access denied").
constexpr NTSTATUS kFileIsAFolder = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kNotAFolder = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

SysError StatusError(NTSTATUS status) {
    switch (status) {
        case kFileIsAFolder:
            return SysError{EISDIR};
        case kNotAFolder:
            return SysError{ENOTDIR};
        case kNameCollision:
            return SysError{EEXIST};
        default:
            return SystemError(::RtlNtStatusToDosError(status));
    }
}

std::optional<std::wstring> Wide(std::string_view utf8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    if (utf8.find('\0') != std::string_view::npos || utf8.size() > 0x7fffffff) {
        return std::nullopt;
    }
    const int length = static_cast<int>(utf8.size());
    const int needed =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), needed);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty() || wide.size() > 0x7fffffff) {
        return {};
    }
    const int length = static_cast<int>(wide.size());
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

Result<std::wstring> SystemPath(const std::string& path) {
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide || wide->empty()) {
        return SystemError(wide ? ERROR_PATH_NOT_FOUND : ERROR_NO_UNICODE_TRANSLATION);
    }
    if (wide->starts_with(L"\\\\?\\") || wide->starts_with(L"\\\\.\\")) {
        return *wide;  // already the system's own form, taken as it is
    }
    // Absolute, with "." and ".." levels resolved and '/' made '\', as any
    // program would read the path; then the \\?\ form keeps the system from
    // reading its levels again (or cutting it at 260 characters).
    std::vector<wchar_t> full(wide->size() + MAX_PATH);
    for (;;) {
        const DWORD n = ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()),
                                           full.data(), nullptr);
        if (n == 0) {
            return SystemError(::GetLastError());
        }
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n + 1);
    }
    const std::wstring absolute(full.begin(), full.end());
    if (absolute.starts_with(L"\\\\?\\") || absolute.starts_with(L"\\\\.\\")) {
        return absolute;  // a device ("CON" is "\\.\CON")
    }
    if (absolute.size() >= 3 && absolute[1] == L':' && IsSeparator(absolute[2])) {
        return L"\\\\?\\" + absolute;
    }
    if (absolute.size() > 2 && IsSeparator(absolute[0]) && IsSeparator(absolute[1])) {
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    }
    return absolute;
}

Result<HANDLE> OpenInside(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                          ULONG disposition, ULONG options) {
    if (name.size() * sizeof(wchar_t) > 0xfffe) {
        return SystemError(ERROR_FILENAME_EXCED_RANGE);
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.data());  // the call only reads it
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    // Letter case as the Win32 calls take it: the file system's own rule.
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const NTSTATUS status = ::NtCreateFile(
        &handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition, options, nullptr, 0);
    if (status < 0) {
        return StatusError(status);
    }
    return handle;
}

namespace {

// The native rename request (FILE_RENAME_INFORMATION), whose target is
// named relative to a folder handle; the Win32 form resolves the name
// against the current folder instead.
struct RenameInformation {
    union {
        BOOLEAN ReplaceIfExists;  // FileRenameInformation
        ULONG Flags;              // FileRenameInformationEx
    };
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
};
constexpr auto kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr auto kRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
constexpr ULONG kReplaceIfExists = 0x1;
constexpr ULONG kPosixSemantics = 0x2;

// FileDispositionInfoEx (Windows 10 1709), which MinGW-w64's headers give
// only to newer targets than they can name.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

}  // namespace

Status RenameInside(HANDLE file, HANDLE folder, std::wstring_view name, Replace replace) {
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(RenameInformation) + bytes);
    auto* rename = reinterpret_cast<RenameInformation*>(buffer.data());
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(bytes);
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK io{};
    const auto length = static_cast<ULONG>(buffer.size());
    if (replace == Replace::Yes) {
        rename->Flags = kReplaceIfExists | kPosixSemantics;
        if (::NtSetInformationFile(file, &io, rename, length, kRenameInformationEx) >= 0) {
            return Status::Ok();
        }
    }
    rename->Flags = 0;
    rename->ReplaceIfExists = replace == Replace::Yes ? TRUE : FALSE;
    const NTSTATUS status = ::NtSetInformationFile(file, &io, rename, length, kRenameInformation);
    if (status < 0) {
        return StatusError(status);
    }
    return Status::Ok();
}

Status RemoveNow(HANDLE file, HANDLE folder, std::wstring_view name) {
    FILE_DISPOSITION_INFO_EX now{};
    now.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
    if (::SetFileInformationByHandle(file, kDispositionInfoEx, &now, sizeof now)) {
        return Status::Ok();
    }
    // Out of the way first, under a name nobody else uses (the process and
    // a count), so that the name is free at once; a failed rename leaves
    // the name to go with the last handle.
    static std::atomic<unsigned> count{0};
    const std::wstring hidden = L".trevasto-removed-" + std::to_wstring(::GetCurrentProcessId()) +
                                L"-" + std::to_wstring(count.fetch_add(1));
    const bool moved = RenameInside(file, folder, hidden, Replace::No).ok();
    FILE_DISPOSITION_INFO later{};
    later.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(file, FileDispositionInfo, &later, sizeof later)) {
        const SysError error = SystemError(::GetLastError());
        if (moved) {
            (void)RenameInside(file, folder, name, Replace::No);  // as it was
        }
        return error;
    }
    return Status::Ok();
}

bool Attributes::IsLink() const {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

Result<Attributes> AttributesOf(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        return SystemError(::GetLastError());
    }
    Attributes out;
    out.attributes = basic.FileAttributes;
    if ((out.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        // Without the tag every reparse point counts as a link (tag 0).
        if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
            out.reparseTag = tag.ReparseTag;
        }
    }
    return out;
}

}  // namespace platform::windows
