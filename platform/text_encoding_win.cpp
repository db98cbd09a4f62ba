#include "platform/text_encoding.h"

#include <cerrno>
#include <optional>

#include "platform/strings.h"
#include "platform/windows_win.h"

namespace platform {
namespace {

// One direction of conversion: Windows converts by code page number, so
// the "handle" is the pair of numbers.
struct CodePages {
    UINT from = 0;
    UINT to = 0;
};

// A number that follows `prefix` in `name` (any letter case).
std::optional<UINT> NumberAfter(std::string_view name, std::string_view prefix) {
    if (!StartsWithNoCase(name, prefix)) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> number = ParseWholeDecimal(name.substr(prefix.size()));
    if (!number || *number > 65535) {
        return std::nullopt;
    }
    return static_cast<UINT>(*number);
}

// The code page number of a name as iconv spells it ("WINDOWS-1252",
// "ISO-8859-15", "UTF-8", "CP850"), when Windows has that code page.
std::optional<UINT> CodePageNumber(std::string_view name) {
    std::optional<UINT> number;
    if (EqualsNoCase(name, "UTF-8") || EqualsNoCase(name, "UTF8")) {
        number = CP_UTF8;
    } else if (EqualsNoCase(name, "US-ASCII") || EqualsNoCase(name, "ASCII")) {
        number = 20127;
    } else if (EqualsNoCase(name, "KOI8-R")) {
        number = 20866;
    } else if (EqualsNoCase(name, "KOI8-U")) {
        number = 21866;
    } else if (EqualsNoCase(name, "ISO-2022-JP")) {
        number = 50220;
    } else if (auto iso = NumberAfter(name, "ISO-8859-")) {
        number = *iso >= 1 && *iso <= 15 ? 28590 + *iso : 0;
    } else if (auto windows = NumberAfter(name, "WINDOWS-")) {
        number = windows;
    } else if (auto cp = NumberAfter(name, "CP")) {
        number = cp;
    } else if (auto ibm = NumberAfter(name, "IBM")) {
        number = ibm;
    }
    if (!number || *number == 0 || !::IsValidCodePage(*number)) {
        return std::nullopt;
    }
    return number;
}

// Windows fills the bytes that a Windows code page leaves without a
// character (0x81, 0x8D, 0x8F, 0x90, 0x9D in Windows-1252) with the C1
// control characters; in those code pages no byte stands for one.
bool FillsGapsWithControls(UINT codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

Result<std::wstring> ToWide(std::string_view text, UINT codePage) {
    const int length = static_cast<int>(text.size());
    const DWORD flags = codePage == 50220 ? 0 : MB_ERR_INVALID_CHARS;
    const int needed = ::MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return windows::SystemError(ERROR_NO_UNICODE_TRANSLATION);
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed);
    if (FillsGapsWithControls(codePage)) {
        for (const wchar_t c : wide) {
            if (c >= 0x80 && c <= 0x9F) {
                return windows::SystemError(ERROR_NO_UNICODE_TRANSLATION);
            }
        }
    }
    return wide;
}

Result<std::string> FromWide(const std::wstring& wide, UINT codePage) {
    const int length = static_cast<int>(wide.size());
    // Into UTF-8 a lone surrogate is refused; into another code page a
    // character it lacks, which would otherwise become '?' or a look-alike.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags =
        utf8 ? WC_ERR_INVALID_CHARS : (codePage == 50220 ? 0 : WC_NO_BEST_FIT_CHARS);
    BOOL usedDefault = FALSE;
    BOOL* askDefault = utf8 || codePage == 50220 ? nullptr : &usedDefault;
    const int needed = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0,
                                             nullptr, askDefault);
    if (needed <= 0 || usedDefault) {
        return windows::SystemError(ERROR_NO_UNICODE_TRANSLATION);
    }
    std::string text(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), needed, nullptr,
                          nullptr);
    return text;
}

}  // namespace

void TextConverter::Close() {
    delete static_cast<CodePages*>(handle_);
    handle_ = nullptr;
}

Result<TextConverter> TextConverter::Open(std::string_view from, std::string_view to) {
    const std::optional<UINT> fromPage = CodePageNumber(from);
    const std::optional<UINT> toPage = CodePageNumber(to);
    if (!fromPage || !toPage) {
        return SysError{EINVAL};
    }
    return TextConverter(new CodePages{*fromPage, *toPage});
}

Result<std::string> TextConverter::Convert(std::string_view text) {
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > 0x7fffffff) {
        return SysError{E2BIG};
    }
    const auto* pages = static_cast<const CodePages*>(handle_);
    auto wide = ToWide(text, pages->from);
    if (!wide) {
        return wide.error();
    }
    return FromWide(*wide, pages->to);
}

}  // namespace platform
