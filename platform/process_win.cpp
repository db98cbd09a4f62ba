#include "platform/process.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/windows_win.h"

namespace platform {

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            return windows::Narrow(std::wstring_view(buffer.data(), n));
        }
        buffer.resize(buffer.size() * 2);  // cut short: try a larger buffer
    }
}

std::optional<std::string> UnsplitCommandLine() {
    // Windows hands a program one line and leaves the splitting to it, so
    // the key file's path is taken from that line as the launch rules say,
    // never from the C run-time's argv (whose quote rules differ, and whose
    // text is in the ANSI code page rather than UTF-8).
    const wchar_t* line = ::GetCommandLineW();
    return windows::Narrow(line != nullptr ? std::wstring_view(line) : std::wstring_view());
}

void FailWritesBeyondTheSizeLimit() {
    // Windows has no file size signal: a write beyond what the file system
    // takes fails with an error already.
}

// getenv would give the ANSI code page's bytes.
std::optional<std::string> EnvironmentVariable(const char* name) {
    const std::wstring wideName(name, name + std::strlen(name));  // ASCII names
    const wchar_t* value = ::_wgetenv(wideName.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    const int length = static_cast<int>(std::wcslen(value));
    std::string text(static_cast<std::size_t>(length) * 3, '\0');
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, value, length, text.data(),
                                        static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

}  // namespace platform
