#include "platform/windows_win.h"

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
