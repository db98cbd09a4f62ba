#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/path.h"
#include "support/system_files.h"

namespace testing_support {
namespace {

// Paths are UTF-8 throughout the program; std::filesystem takes a plain
// string in the system's narrow code page (not UTF-8 on Windows), so the
// text goes through char8_t both ways.
std::filesystem::path Native(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

TempDir::TempDir() {
    // A name nobody has: made with create_directory, which fails for an
    // existing one, so two tests never share a folder.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937_64 random(seed());
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "trevasto-";
        for (int i = 0; i < 8; ++i) {
            name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
        }
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec) && !ec) {
            path_ = Utf8(base / name);
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
    RemoveTree(path_);
}

std::string TempDir::Sub(const std::string& relative) const {
    // Spelled as the program spells the paths it makes ('\\' on Windows),
    // so that tests can compare them with its lines.
    std::string path = path_ + "/" + relative;
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

void TempDir::Write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path full = Native(Sub(relative));
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::Read(const std::string& relative) const {
    std::ifstream in(Native(Sub(relative)), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace testing_support
