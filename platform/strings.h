#pragma once
// Bounded text helpers. Every formatted text in the program is built here
// into a std::string, so no code formats into a fixed array.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// MinGW-w64's C++ library formats with its own printf, which takes C99's
// formats (%zu, %lld) as glibc's does, rather than the old run-time's.
#if defined(__MINGW32__)
#define TREVASTO_PRINTF_FORMAT gnu_printf
#else
#define TREVASTO_PRINTF_FORMAT printf
#endif

// printf-style formatting into a new string.
std::string StrPrintf(const char* format, ...)
    __attribute__((format(TREVASTO_PRINTF_FORMAT, 1, 2)));

// Compares two texts without regard to ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// True when `text` begins with `prefix`, ignoring ASCII letter case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// The first `limit` bytes of `text` (all of it when shorter).
inline std::string_view Cut(std::string_view text, std::size_t limit) {
    return text.substr(0, limit < text.size() ? limit : text.size());
}

// Reads a decimal integer the way the service's numbers are read: leading
// white space, an optional sign, then digits up to the first non-digit.
// No digits give 0; values beyond the range of int64 saturate instead of
// overflowing.
long long ParseDecimal(std::string_view text);

// A whole text of decimal digits (no blanks, no sign) of at most 18 digits,
// so that it always fits; nothing for anything else. For settings and
// requests where a stray character must be refused rather than read as 0.
std::optional<std::uint64_t> ParseWholeDecimal(std::string_view text);

// True when ParseDecimal reads at least one digit from `text`: after the
// white space and the sign it skips, a digit follows.
bool StartsWithDecimal(std::string_view text);

}  // namespace platform
