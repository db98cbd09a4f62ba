#pragma once
// Dating a downloaded file with the service's date of it (net/service_date.h
// reads and writes the dates themselves).

#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file.h"

namespace engine {

// Stamps a file's last-write time with a service date. A text shorter than
// 6 characters (the blank that stands for no date) changes nothing and
// counts as success; any other unusable date fails with EINVAL.
bool SetFileDateFromServer(platform::File& file, std::string_view serverDate,
                           platform::SysError* error);
// The same for the file at a path.
bool SetFileDateFromServer(const std::string& path, std::string_view serverDate,
                           platform::SysError* error);

}  // namespace engine
