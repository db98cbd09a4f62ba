// The command line: which text the launch takes for the key file's path,
// and the key that the program's own name may carry.
//
// The input is read three ways. As an unsplit line, whatever it holds, the
// first argument is a non-empty part of it after the program name, and it
// is the key file's path whatever argv holds; read as the program's path,
// a key from its name is a part of the last level's name before its first
// dot, and holds no dot or separator. Split at NUL bytes into argv entries
// (which can hold no NUL), the key file's path is the second entry exactly
// as it is, whatever quotes or blanks it holds, and nothing when it is
// missing or empty.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/transfer_app.h"
#include "app/transfer_dialog.h"
#include "fuzz_support.h"
#include "platform/path.h"

namespace {

void CheckRawLine(std::string_view line) {
    const std::optional<std::string> argument = app::FirstArgument(line);
    const char* const argv[] = {"trevasto", "ignored.qvnkey"};
    FUZZ_CHECK(app::KeyFileArgument(std::string(line), 2, argv) == argument);
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

void CheckSplitArguments(std::string_view input) {
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
    std::vector<const char*> argv;
    for (const std::string& entry : entries) {
        argv.push_back(entry.c_str());
    }
    const std::optional<std::string> argument =
        app::KeyFileArgument(std::nullopt, static_cast<int>(argv.size()), argv.data());
    if (entries.size() < 2 || entries[1].empty()) {
        FUZZ_CHECK(!argument.has_value());
    } else {
        FUZZ_CHECK(argument == entries[1]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::AsText({data, size});
    CheckRawLine(input);
    CheckProgramPath(input);
    CheckSplitArguments(input);
    return 0;
}
