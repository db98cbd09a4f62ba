// The raw command line: which text the launch takes for the key file's path,
// and the key that the program's own name may carry.
//
// The input is read two ways. As a raw line, whatever it holds, the first
// argument is a non-empty part of it after the program name; read as the
// program's path, a key from its name is a part of the last level's name
// before its first dot, and holds no dot or separator. Split at NUL
// bytes into argv entries (which can hold no NUL), the line that
// RawCommandLine rebuilds must give back the arguments after the program
// name, joined by blanks, whenever the first of them is a usable path
// text: not empty, not starting with a blank or a quote (a raw line has no
// way to write those), and the program name holds no quote.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/transfer_app.h"
#include "app/transfer_dialog.h"
#include "fuzz_support.h"
#include "platform/path.h"
#include "platform/process.h"

namespace {

void CheckRawLine(std::string_view line) {
    const std::optional<std::string> argument = app::FirstArgument(line);
    if (!argument) {
        return;
    }
    FUZZ_CHECK(!argument->empty());
    const std::size_t at = line.find(*argument, 1);
    FUZZ_CHECK(at != std::string_view::npos);
}

void CheckProgramPath(std::string_view path) {
    const std::optional<std::string> key = app::KeyFromProgramPath(path);
    if (!key) {
        return;
    }
    const std::string_view name = platform::FileNamePart(path);
    const std::string_view stem = name.substr(0, name.find('.'));
    FUZZ_CHECK(stem.size() < name.size());
    FUZZ_CHECK(key->find_first_of("./") == std::string::npos);
    FUZZ_CHECK(stem.size() > key->size());
    FUZZ_CHECK(stem.substr(stem.size() - key->size()) == *key);
    FUZZ_CHECK(stem[stem.size() - key->size() - 1] == '-');
}

void CheckRoundTrip(std::string_view input) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = input.find('\0', start);
        entries.emplace_back(input.substr(start, end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    if (entries.size() < 2) {
        return;
    }
    const std::string& program = entries[0];
    const std::string& first = entries[1];
    if (program.find('"') != std::string::npos || first.empty() || first.front() == ' ' ||
        first.front() == '"') {
        return;
    }
    std::vector<const char*> argv;
    std::string expected;
    for (const std::string& entry : entries) {
        argv.push_back(entry.c_str());
    }
    for (std::size_t i = 1; i < entries.size(); ++i) {
        expected += (i == 1 ? "" : " ") + entries[i];
    }
    const std::string line = platform::RawCommandLine(static_cast<int>(argv.size()), argv.data());
    const std::optional<std::string> argument = app::FirstArgument(line);
    FUZZ_CHECK(argument.has_value());
    FUZZ_CHECK(*argument == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::AsText({data, size});
    CheckRawLine(input);
    CheckProgramPath(input);
    CheckRoundTrip(input);
    return 0;
}
