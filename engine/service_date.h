#pragma once
// The service's dates: 14 upper-case hexadecimal digits, year (4), month,
// day, hour, minute, second (2 each), a UTC time.

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_time.h"

namespace engine {

// The file time of a service date; nothing when the text is not 14
// hexadecimal digits of a valid calendar time.
std::optional<platform::FileTime> ParseServerDate(std::string_view text);

// Stamps a file's last-write time with a service date. A text shorter than
// 6 characters (the blank that stands for no date) changes nothing and
// counts as success; any other unusable date fails with EINVAL.
bool SetFileDateFromServer(platform::File& file, std::string_view serverDate,
                           platform::SysError* error);
// The same for the file at a path.
bool SetFileDateFromServer(const std::string& path, std::string_view serverDate,
                           platform::SysError* error);

}  // namespace engine
