#include "support/system_files.h"

#include <windows.h>
#include <winioctl.h>
#include <winsock2.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace testing_support {
namespace {

std::wstring Wide(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

std::string Utf8(const std::wstring& wide) {
    const std::u8string text = std::filesystem::path(wide).u8string();
    return std::string(text.begin(), text.end());
}

bool IsReparsePoint(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The layout of a mount point's reparse data (REPARSE_DATA_BUFFER's
// MountPointReparseBuffer), which user-mode headers leave out.
struct MountPointData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    // then the two names, each NUL-terminated
};

bool MakeJunction(const std::wstring& target, const std::wstring& link) {
    const std::wstring absolute = std::filesystem::absolute(target).wstring();
    const std::wstring substitute = L"\\??\\" + absolute;
    if (!::CreateDirectoryW(link.c_str(), nullptr)) {
        return false;
    }
    const HANDLE handle =
        ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool made = false;
    if (handle != INVALID_HANDLE_VALUE) {
        const std::size_t names = (substitute.size() + 1 + absolute.size() + 1) * sizeof(wchar_t);
        std::vector<std::uint8_t> buffer(sizeof(MountPointData) + names);
        auto* data = reinterpret_cast<MountPointData*>(buffer.data());
        data->tag = IO_REPARSE_TAG_MOUNT_POINT;
        data->dataLength = static_cast<WORD>(8 + names);
        data->substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        data->printOffset = static_cast<WORD>(data->substituteLength + sizeof(wchar_t));
        data->printLength = static_cast<WORD>(absolute.size() * sizeof(wchar_t));
        auto* text = reinterpret_cast<wchar_t*>(buffer.data() + sizeof(MountPointData));
        std::memcpy(text, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
        std::memcpy(text + substitute.size() + 1, absolute.c_str(),
                    (absolute.size() + 1) * sizeof(wchar_t));
        DWORD returned = 0;
        made = ::DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                                 nullptr) != 0;
        ::CloseHandle(handle);
    }
    if (!made) {
        ::RemoveDirectoryW(link.c_str());
    }
    return made && IsReparsePoint(link);
}

}  // namespace

bool MakeLink(const std::string& target, const std::string& link) {
    const std::wstring to = Wide(target);
    const std::wstring at = Wide(link);
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && MakeJunction(to, at)) {
        return true;
    }
    constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    const DWORD flags = kUnprivileged | (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    // Some systems report success without a link (Wine): believe only the
    // link that is there.
    return ::CreateSymbolicLinkW(at.c_str(), to.c_str(), flags) && IsReparsePoint(at);
}

int RefusedConnectionCode() {
    return WSAECONNREFUSED;
}

int ResetConnectionCode() {
    return WSAECONNRESET;
}

namespace {

// `path` in the \\?\ form, without a trailing separator.
void RemoveLongTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring inner = path + L"\\" + name;
            const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (folder && !link) {
                RemoveLongTree(inner);
            } else if (folder) {
                ::RemoveDirectoryW(inner.c_str());  // the junction, not its target
            } else {
                ::SetFileAttributesW(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(inner.c_str());
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::string& path) {
    std::wstring full = std::filesystem::absolute(Wide(path)).wstring();
    while (!full.empty() && (full.back() == L'\\' || full.back() == L'/')) {
        full.pop_back();
    }
    if (full.size() > 2 && full[1] == L':') {
        full = L"\\\\?\\" + full;
    }
    RemoveLongTree(full);
}

bool MakeFifo(const std::string&) {
    return false;  // named pipes live outside the file system's folders
}

namespace {

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    // The C run-time's copy, which getenv reads, and the process's own.
    const std::wstring wideName = Wide(name);
    const std::wstring wideValue = value ? Wide(*value) : std::wstring();
    ::_wputenv_s(wideName.c_str(), wideValue.c_str());
    ::SetEnvironmentVariableW(wideName.c_str(), value ? wideValue.c_str() : nullptr);
}

}  // namespace

ScopedVariable::ScopedVariable(const char* name, const std::optional<std::string>& value)
    : name_(name) {
    if (const wchar_t* previous = ::_wgetenv(Wide(name_).c_str())) {
        previous_ = Utf8(previous);
    }
    SetVariable(name_, value);
}

ScopedVariable::~ScopedVariable() {
    SetVariable(name_, previous_);
}

bool FileSizeLimit::Exists() {
    return false;  // a full disk is the only limit
}

FileSizeLimit::FileSizeLimit(std::uint64_t) {}

FileSizeLimit::~FileSizeLimit() = default;

}  // namespace testing_support
