#include "e2e/fault_support.h"

#include <array>
#include <cctype>
#include <map>

#include "app/transfer_dialog.h"
#include "platform/strings.h"

namespace e2e {
namespace {

constexpr std::string_view kRetryLine = "Processing Failed Retry Attempt ";

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

// "b.bin  6K  (2 of 3)" or "b.bin  Compressing Please Wait... (2 of 3)"
// -> "b.bin"; empty for any other line.
std::string FileLineName(std::string_view line) {
    const std::size_t open = line.rfind('(');
    if (open == std::string_view::npos || !line.ends_with(')')) {
        return "";
    }
    const std::string_view count = line.substr(open + 1, line.size() - open - 2);
    const std::size_t of = count.find(" of ");
    if (of == std::string_view::npos || !AllDigits(count.substr(0, of)) ||
        !AllDigits(count.substr(of + 4))) {
        return "";
    }
    const std::size_t gap = line.find("  ");
    return gap == std::string_view::npos || gap > open ? "" : std::string(line.substr(0, gap));
}

// A line the dialog shows for a file's final status.
bool IsFinalLine(std::string_view line) {
    for (std::int32_t status = 0; status <= 64; ++status) {
        if (const auto text = app::StatusLineText(status); text && *text == line) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<ShownFile> ShownFiles(const std::vector<std::string>& lines) {
    std::vector<ShownFile> files;
    bool open = false;  // the last file has no final line yet
    for (const std::string& line : lines) {
        if (line.starts_with(kRetryLine)) {
            open = false;
            continue;
        }
        const std::string name = FileLineName(line);
        if (!name.empty()) {
            if (!(open && files.back().name == name)) {
                files.push_back(ShownFile{name, ""});
            }
            open = true;
            continue;
        }
        if (open && IsFinalLine(line)) {
            files.back().finalLine = line;
            open = false;
        }
    }
    return files;
}

int RetryAttempts(const std::vector<std::string>& lines) {
    int count = 0;
    for (const std::string& line : lines) {
        if (line.starts_with(kRetryLine)) {
            ++count;
        }
    }
    return count;
}

bool IsDoneLine(std::string_view line) {
    return line == "Complete" || line == "Update File Complete";
}

std::string TemporaryOwner(std::string_view name) {
    for (const std::string_view suffix : {std::string_view("~unzip"), std::string_view("~")}) {
        if (name.size() > suffix.size() && name.ends_with(suffix)) {
            return std::string(name.substr(0, name.size() - suffix.size()));
        }
    }
    return "";
}

::testing::AssertionResult ShownDoneIsDone(const std::vector<std::string>& lines,
                                           const Tree& source, const Tree& destination,
                                           bool onceOnly) {
    std::string problems;
    std::map<std::string, int> doneCount;
    for (const ShownFile& file : ShownFiles(lines)) {
        if (!IsDoneLine(file.finalLine)) {
            continue;
        }
        const int shown = ++doneCount[file.name];
        if (onceOnly && shown == 2) {
            problems += "\n  " + file.name + " was shown \"" + file.finalLine +
                        "\" again: the first time it was not done";
        }
        if (shown > 1) {
            continue;
        }
        const auto expected = source.find(file.name);
        const auto found = destination.find(file.name);
        if (expected == source.end()) {
            problems += "\n  " + file.name + " was shown \"" + file.finalLine +
                        "\" but is no file of the key";
        } else if (found == destination.end()) {
            problems += "\n  " + file.name + " was shown \"" + file.finalLine + "\" but is missing";
        } else if (!(found->second == expected->second)) {
            problems += "\n  " + file.name + " was shown \"" + file.finalLine + "\" but " +
                        SameTree({*expected}, {*found}).message();
        }
    }
    if (problems.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "files shown done are not:" << problems;
}

::testing::AssertionResult NothingWrongOrLost(const Tree& source, const Tree& before,
                                              const Tree& destination, bool temporariesAllowed) {
    std::string problems;
    for (const auto& [name, file] : destination) {
        const auto expected = source.find(name);
        const auto earlier = before.find(name);
        if (expected != source.end()) {
            const bool asBefore = earlier != before.end() && earlier->second == file;
            if (!(expected->second == file) && !asBefore) {
                problems += "\n  " + name + " holds neither its source nor its earlier contents" +
                            SameTree({*expected}, {{name, file}}).message();
            }
            continue;
        }
        const std::string owner = TemporaryOwner(name);
        if (owner.empty() || source.count(owner) == 0) {
            problems += platform::StrPrintf("\n  unexpected: %s (%zu bytes)", name.c_str(),
                                            file.bytes.size());
        } else if (name.ends_with("~unzip")) {
            problems += "\n  the unpacking leftover " + name + " remains";
        } else if (!temporariesAllowed) {
            problems += "\n  the temporary file " + name + " remains after a completed run";
        }
    }
    for (const auto& [name, file] : before) {
        if (destination.count(name) == 0) {
            problems += "\n  " + name + " that was there before is gone";
        }
    }
    if (problems.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the destination is not sound:" << problems;
}

}  // namespace e2e
