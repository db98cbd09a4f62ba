#pragma once
// The service's dates: 14 hexadecimal digits, year (4), month, day, hour,
// minute, second (2 each), a UTC time. The lists carry them, the download
// request describes a local copy with one, and the local service writes
// them; one reader and one writer keep the three in step.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_time.h"

namespace net {

inline constexpr std::size_t kServiceDateLength = 14;

// The upper-case digits of a time (its whole seconds); nothing when the time
// has no calendar form.
std::optional<std::string> FormatServiceDate(platform::FileTime time);

// The time of a service date (either letter case); nothing when the text is
// not 14 hexadecimal digits of a valid calendar time.
std::optional<platform::FileTime> ParseServiceDate(std::string_view text);

}  // namespace net
