#include "net/service_date.h"

#include "platform/strings.h"

namespace net {
namespace {

bool ReadHex(std::string_view digits, int* value) {
    int result = 0;
    for (const char c : digits) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return false;
        }
        result = result * 16 + digit;
    }
    *value = result;
    return true;
}

}  // namespace

std::optional<std::string> FormatServiceDate(platform::FileTime time) {
    const auto t = platform::FileTimeToSystemTime(time);
    if (!t) {
        return std::nullopt;
    }
    // Calendar years end at 30827, so the year always takes four digits.
    return platform::StrPrintf("%04X%02X%02X%02X%02X%02X", static_cast<unsigned>(t->year),
                               static_cast<unsigned>(t->month), static_cast<unsigned>(t->day),
                               static_cast<unsigned>(t->hour), static_cast<unsigned>(t->minute),
                               static_cast<unsigned>(t->second));
}

std::optional<platform::FileTime> ParseServiceDate(std::string_view text) {
    if (text.size() != kServiceDateLength) {
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

}  // namespace net
