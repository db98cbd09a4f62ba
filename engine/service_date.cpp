#include "engine/service_date.h"

#include <cctype>
#include <cerrno>

#include "platform/file.h"
#include "platform/strings.h"

namespace engine {
namespace {

bool ReadHex(std::string_view digits, int* value) {
    int result = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        result = result * 16 + digit;
    }
    *value = result;
    return true;
}

}  // namespace

std::optional<platform::FileTime> ParseServerDate(std::string_view text) {
    if (text.size() != 14) {
        return std::nullopt;
    }
    platform::SystemTime time;
    if (!ReadHex(text.substr(0, 4), &time.year) || !ReadHex(text.substr(4, 2), &time.month) ||
        !ReadHex(text.substr(6, 2), &time.day) || !ReadHex(text.substr(8, 2), &time.hour) ||
        !ReadHex(text.substr(10, 2), &time.minute) || !ReadHex(text.substr(12, 2), &time.second)) {
        return std::nullopt;
    }
    return platform::SystemTimeToFileTime(time);
}

bool SetFileDateFromServer(platform::File& file, std::string_view serverDate,
                           platform::SysError* error) {
    if (serverDate.size() < 6) {
        return true;
    }
    const std::optional<platform::FileTime> time = ParseServerDate(serverDate);
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
