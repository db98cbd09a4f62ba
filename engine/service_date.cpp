#include "engine/service_date.h"

#include <cerrno>
#include <optional>

#include "net/service_date.h"
#include "platform/file.h"
#include "platform/file_time.h"

namespace engine {

bool SetFileDateFromServer(platform::File& file, std::string_view serverDate,
                           platform::SysError* error) {
    if (serverDate.size() < 6) {
        return true;
    }
    const std::optional<platform::FileTime> time = net::ParseServiceDate(serverDate);
    if (!time) {
        *error = platform::SysError{EINVAL};
        return false;
    }
    const platform::Status set = file.SetLastWriteTime(*time);
    if (!set) {
        *error = set.error();
        return false;
    }
    return true;
}

bool SetFileDateFromServer(const std::string& path, std::string_view serverDate,
                           platform::SysError* error) {
    if (serverDate.size() < 6) {
        return true;
    }
    auto file = platform::File::Open(path, platform::FileAccess::WriteExisting);
    if (!file) {
        *error = file.error();
        return false;
    }
    return SetFileDateFromServer(*file, serverDate, error);
}

}  // namespace engine
