#include "platform/path.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/strings.h"

namespace platform {
namespace {

// The device names Windows finds in any folder. COM and LPT take a digit,
// or a superscript one, two or three.
constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                      "NUL", "CONIN$", "CONOUT$"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};
constexpr std::array<std::string_view, 3> kSuperscriptDigits = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
constexpr std::string_view kWindowsRefused = "<>:\"/\\|?*";

bool IsDeviceName(std::string_view level) {
    // The part before the first dot, without the blanks before that dot,
    // is what Windows compares.
    std::string_view base = level.substr(0, level.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    for (std::string_view device : kDevices) {
        if (EqualsNoCase(base, device)) {
            return true;
        }
    }
    for (std::string_view device : kNumberedDevices) {
        if (!StartsWithNoCase(base, device)) {
            continue;
        }
        const std::string_view number = base.substr(device.size());
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') {
            return true;
        }
        for (std::string_view digit : kSuperscriptDigits) {
            if (number == digit) {
                return true;
            }
        }
    }
    return false;
}

bool IsStorableOnWindows(std::string_view level) {
    for (const char c : level) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            kWindowsRefused.find(c) != std::string_view::npos) {
            return false;
        }
    }
    return !level.ends_with('.') && !level.ends_with(' ') && !IsDeviceName(level);
}

// Splits a '\'-separated name into its levels, or nullopt when a level is
// unsafe.
std::optional<std::vector<std::string_view>> SafeLevels(std::string_view relative,
                                                        NameRules rules) {
    if (relative.empty()) {
        return std::nullopt;
    }
    std::vector<std::string_view> levels;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find('\\', start);
        const std::string_view level = relative.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!IsStorableName(level, rules)) {
            return std::nullopt;
        }
        levels.push_back(level);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    // A drive-like first level ("C:") names another root on the service's
    // side; never a folder of ours.
    const std::string_view first = levels.front();
    if (first.size() >= 2 && first[1] == ':') {
        return std::nullopt;
    }
    return levels;
}

// The small letter of a capital one, for the letters of the single-byte
// code pages (Latin-1, Latin Extended-A, Greek, Cyrillic); others as they are.
char32_t Small(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    const bool evenPairs = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenPairs && c % 2 == 0) || (oddPairs && c % 2 == 1) || c == 0x191 || c == 0x490) {
        return c + 1;
    }
    switch (c) {
        case 0x178:
            return 0xFF;
        case 0x386:
            return 0x3AC;
        case 0x388:
        case 0x389:
        case 0x38A:
            return c + 37;
        case 0x38C:
            return 0x3CC;
        case 0x38E:
        case 0x38F:
            return c + 63;
        default:
            return c;
    }
}

// Appends `c` (below U+0800, as every letter Small changes) in UTF-8.
void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string FoldCase(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            AppendUtf8(folded, Small(lead));
            i += 1;
            continue;
        }
        // Two-byte sequences hold every letter that folds; anything else
        // (longer sequences, stray bytes) is kept byte for byte.
        if (lead >= 0xC2 && lead <= 0xDF && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const char32_t c =
                (char32_t{lead} & 0x1F) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
            AppendUtf8(folded, Small(c));
            i += 2;
            continue;
        }
        folded.push_back(text[i]);
        i += 1;
    }
    return folded;
}

}  // namespace

bool IsStorableName(std::string_view level, NameRules rules) {
    if (level.empty() || level == "." || level == ".." ||
        level.find('/') != std::string_view::npos || level.find('\0') != std::string_view::npos) {
        return false;
    }
    return rules == NameRules::Posix || IsStorableOnWindows(level);
}

std::optional<std::string> JoinUnder(std::string_view folder, std::string_view relative,
                                     NameRules rules) {
    auto levels = SafeLevels(relative, rules);
    if (!levels) {
        return std::nullopt;
    }
    std::string path(folder);
    for (std::string_view level : *levels) {
        path = JoinName(path, level);
    }
    return path;
}

std::optional<std::string> JoinUnder(std::string_view folder, std::string_view relative) {
    return JoinUnder(folder, relative, SystemNameRules());
}

std::string NameKey(std::string_view path, NameRules rules) {
    return rules == NameRules::Windows ? FoldCase(path) : std::string(path);
}

std::string JoinName(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || kPathSeparators.find(path.back()) == std::string_view::npos) {
        path.push_back(kPathSeparator);
    }
    path.append(name);
    return path;
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<std::string_view> FolderPart(std::string_view path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    return path.substr(0, slash);
}

}  // namespace platform
