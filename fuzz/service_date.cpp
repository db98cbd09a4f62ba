// The service's dates: 14 hexadecimal digits of a UTC calendar time.
//
// The input is the date text. Checked: a text that reads as a time is 14
// hexadecimal digits; writing that time back gives the same digits (upper
// case); the time's calendar fields are those digits. Stamping a file with
// the text sets exactly that time; a text that is no date fails and leaves
// the file's time alone, unless it is shorter than 6 characters (the blank
// that stands for no date), which succeeds and changes nothing.

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/service_date.h"
#include "fuzz_support.h"
#include "net/service_date.h"
#include "platform/file.h"
#include "platform/file_time.h"
#include "platform/path.h"

namespace {

int Hex(std::string_view digits) {
    return static_cast<int>(std::stoul(std::string(digits), nullptr, 16));
}

std::optional<platform::FileTime> FileTimeOf(const std::string& path) {
    auto file = platform::File::Open(path, platform::FileAccess::ReadShared);
    FUZZ_CHECK(file.ok());
    auto time = file->LastWriteTime();
    FUZZ_CHECK(time.ok());
    return *time;
}

void CheckStamp(std::string_view text, const std::optional<platform::FileTime>& time) {
    static const std::string path = [] {
        std::string stamped = platform::JoinName(fuzz::ScratchFolder(), "stamped");
        FUZZ_CHECK(platform::WriteWholeFile(stamped, "content").ok());
        return stamped;
    }();
    const std::optional<platform::FileTime> before = FileTimeOf(path);
    platform::SysError error{};
    const bool set = engine::SetFileDateFromServer(path, text, &error);
    const std::optional<platform::FileTime> after = FileTimeOf(path);
    if (text.size() < 6) {
        FUZZ_CHECK(set);
        FUZZ_CHECK(after == before);
    } else if (time) {
        FUZZ_CHECK(set);
        // File systems keep the times they can: ext4 clamps to 1901..2446,
        // older inodes to 1901..2038. Within those every one is exact.
        const auto fields = platform::FileTimeToSystemTime(*time);
        if (fields && fields->year > 1901 && fields->year < 2038) {
            FUZZ_CHECK(after == time);
        }
    } else {
        FUZZ_CHECK(!set);
        FUZZ_CHECK(error.code == EINVAL);
        FUZZ_CHECK(after == before);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::AsText({data, size});
    const std::optional<platform::FileTime> time = net::ParseServiceDate(text);
    CheckStamp(text, time);
    if (!time) {
        return 0;
    }
    FUZZ_CHECK(text.size() == 14);
    for (const char c : text) {
        FUZZ_CHECK(std::isxdigit(static_cast<unsigned char>(c)));
    }
    const std::optional<std::string> written = net::FormatServiceDate(*time);
    FUZZ_CHECK(written.has_value());
    for (std::size_t i = 0; i < text.size(); ++i) {
        FUZZ_CHECK((*written)[i] == std::toupper(static_cast<unsigned char>(text[i])));
    }
    const std::optional<platform::SystemTime> fields = platform::FileTimeToSystemTime(*time);
    FUZZ_CHECK(fields.has_value());
    FUZZ_CHECK(fields->year == Hex(text.substr(0, 4)));
    FUZZ_CHECK(fields->month == Hex(text.substr(4, 2)));
    FUZZ_CHECK(fields->day == Hex(text.substr(6, 2)));
    FUZZ_CHECK(fields->hour == Hex(text.substr(8, 2)));
    FUZZ_CHECK(fields->minute == Hex(text.substr(10, 2)));
    FUZZ_CHECK(fields->second == Hex(text.substr(12, 2)));
    FUZZ_CHECK(fields->milliseconds == 0);
    return 0;
}
