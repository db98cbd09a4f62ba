// The key's file list from the service: TAB-separated records, names
// escaped into file names, the key's top folder dropped, the name joined
// below the destination, and the service date read.
//
// The input is the list text (the body after any deciphering). Checked for
// every entry, with and without backslashes kept: no field holds a TAB or
// a NUL; an escaped name holds none of the characters it escapes and
// escaping it again changes nothing; the width flag matches the limits;
// the local path the download would use lies below the destination; a date
// that reads as a time is that time written back.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/key_file_list.h"
#include "fuzz_support.h"
#include "net/service_date.h"
#include "platform/path.h"

namespace {

constexpr std::string_view kDestination = "/home/user/Downloads/Quorvane";

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

void CheckEntry(const engine::KeyFileEntry& entry, bool keepBackslash) {
    FUZZ_CHECK(!entry.fileId.empty());
    FUZZ_CHECK(entry.fileId.front() != '\r');
    for (const std::string* field : {&entry.fileId, &entry.relativeName, &entry.serverDate}) {
        FUZZ_CHECK(field->find_first_of(std::string_view("\t\0", 2)) == std::string::npos);
    }
    FUZZ_CHECK(entry.relativeName.find_first_of("\"*/:<>?|\r\n") == std::string::npos);
    if (!keepBackslash) {
        FUZZ_CHECK(entry.relativeName.find('\\') == std::string::npos);
    }
    std::string again = entry.relativeName;
    engine::EscapeFileName(again, keepBackslash);
    FUZZ_CHECK(again == entry.relativeName);
    FUZZ_CHECK(entry.overWidth == (entry.fileId.size() > engine::kFileIdLimit ||
                                   entry.relativeName.size() > engine::kRelativeNameLimit ||
                                   entry.serverDate.size() > engine::kServerDateLimit));

    std::string name = entry.relativeName;
    engine::DropTopFolder(name);
    FUZZ_CHECK(name.size() <= entry.relativeName.size());
    if (const std::optional<std::string> path = platform::JoinUnder(kDestination, name)) {
        FUZZ_CHECK(fuzz::LiesUnder(*path, kDestination));
        FUZZ_CHECK(fuzz::LexicalNormal(*path) != fuzz::LexicalNormal(kDestination));
    }

    if (const auto time = net::ParseServiceDate(entry.serverDate)) {
        const std::optional<std::string> written = net::FormatServiceDate(*time);
        FUZZ_CHECK(written.has_value());
        FUZZ_CHECK(*written == Upper(entry.serverDate));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::AsText({data, size});
    for (const bool keepBackslash : {true, false}) {
        const engine::KeyFileList list = engine::ParseKeyFileList(text, keepBackslash);
        FUZZ_CHECK(list.size() <=
                   static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t')) + 1);
        for (const engine::KeyFileEntry& entry : list) {
            CheckEntry(entry, keepBackslash);
        }
    }
    return 0;
}
