#include "fuzz_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/temp_dir.h"

namespace fuzz {

void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

const net::KeyTable& FuzzKeyTable() {
    static const net::KeyTable table = [] {
        std::array<std::uint8_t, net::KeyTable::kSize> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>((i * 167 + 13) ^ (i >> 3));
        }
        return net::KeyTable(bytes);
    }();
    return table;
}

const std::string& ScratchFolder() {
    // Never destroyed before the last input: libFuzzer ends with exit().
    static const testing_support::TempDir folder;
    return folder.path();
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string LexicalNormal(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> levels;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view level = path.substr(start, end - start);
        if (level == "..") {
            if (!levels.empty() && levels.back() != "..") {
                levels.pop_back();
            } else if (!absolute) {
                levels.push_back(level);
            }
        } else if (!level.empty() && level != ".") {
            levels.push_back(level);
        }
        start = end + 1;
    }
    std::string normal = absolute ? "/" : "";
    for (std::size_t i = 0; i < levels.size(); ++i) {
        normal += (i == 0 ? "" : "/");
        normal += levels[i];
    }
    return normal.empty() ? "." : normal;
}

bool LiesUnder(std::string_view path, std::string_view folder) {
    const std::string normalPath = LexicalNormal(path);
    const std::string normalFolder = LexicalNormal(folder);
    if (normalFolder == "/") {
        return normalPath.front() == '/';
    }
    if (normalFolder == ".") {
        return normalPath.front() != '/' && normalPath != ".." && normalPath.substr(0, 3) != "../";
    }
    return normalPath == normalFolder ||
           (normalPath.size() > normalFolder.size() &&
            normalPath.compare(0, normalFolder.size(), normalFolder) == 0 &&
            normalPath[normalFolder.size()] == '/');
}

}  // namespace fuzz
