// Joining a listed name below a folder: the one place where a name from
// the service becomes a local path.
//
// The first input byte picks the folder (absolute or relative, with or
// without a final separator); the rest is the name, levels separated by
// '\'. Checked: a joined path lies strictly below the folder, one level per
// level of the name; the folders made for a name are made below a real
// folder and nowhere else; a refused name makes no folder.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_support.h"
#include "platform/path.h"

namespace {

constexpr std::array<std::string_view, 5> kFolders = {"/home/user/Downloads/Quorvane",
                                                      "/home/user/dest/", "dest", "/", "a/b/../c"};

std::size_t LevelCount(std::string_view normal) {
    return static_cast<std::size_t>(std::count(normal.begin(), normal.end(), '/')) +
           (normal.front() == '/' ? 0 : 1);
}

void CheckJoin(std::string_view folder, std::string_view name) {
    const std::optional<std::string> path = platform::JoinUnder(folder, name);
    if (!path) {
        return;
    }
    FUZZ_CHECK(fuzz::LiesUnder(*path, folder));
    const std::string normalFolder = fuzz::LexicalNormal(folder);
    const std::string normalPath = fuzz::LexicalNormal(*path);
    FUZZ_CHECK(normalPath != normalFolder);
    const std::size_t levels =
        static_cast<std::size_t>(std::count(name.begin(), name.end(), '\\')) + 1;
    const std::size_t folderLevels = normalFolder == "/" ? 0 : LevelCount(normalFolder);
    FUZZ_CHECK(LevelCount(normalPath) == folderLevels + levels);
}

// Makes the folders in a real folder and looks at what appeared.
void CheckFolders(std::string_view name) {
    namespace fs = std::filesystem;
    const fs::path base = fs::path(fuzz::ScratchFolder()) / "base";
    std::error_code error;
    fs::remove_all(base, error);
    FUZZ_CHECK(fs::create_directory(base, error));
    const bool made = platform::CreateFoldersUnder(base.string(), name);
    if (!platform::JoinUnder(base.string(), name)) {
        FUZZ_CHECK(!made);
    }
    // Nothing beside the base folder.
    std::size_t beside = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(fuzz::ScratchFolder())) {
        beside += entry.path().filename() == "base" ? 0 : 1;
    }
    FUZZ_CHECK(beside == 0);
    const std::string canonicalBase = fs::canonical(base).string();
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(base)) {
        FUZZ_CHECK(entry.is_directory() && !entry.is_symlink());
        FUZZ_CHECK(fuzz::LiesUnder(fs::canonical(entry.path()).string(), canonicalBase));
    }
    fs::remove_all(base, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view folder = kFolders[data[0] % kFolders.size()];
    const std::string_view name = fuzz::AsText({data + 1, size - 1});
    CheckJoin(folder, name);
    // Real folders only for names of a plausible size: each input makes and
    // removes them.
    if (name.size() <= 200) {
        CheckFolders(name);
    }
    return 0;
}
