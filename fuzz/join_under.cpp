// Joining a listed name below a folder: the one place where a name from
// the service becomes a local path.
//
// The first input byte picks the folder (absolute or relative, with or
// without a final separator); the rest is the name, levels separated by
// '\'. Checked: a joined path lies strictly below the folder, one level per
// level of the name. For one input in eight the name's folders are also
// made below a real folder, one level at a time as a download makes them:
// only there, and only for a name the join accepts.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "engine/local_place.h"
#include "fuzz_support.h"
#include "platform/folder.h"
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
    static const fs::path base = [] {
        const fs::path folder = fs::path(fuzz::ScratchFolder()) / "base";
        fs::create_directory(folder);
        return folder;
    }();
    static const platform::Folder destination =
        std::move(platform::Folder::Open(base.string()).value());
    if (!platform::JoinUnder(base.string(), name)) {
        return;  // a download never makes folders for a refused name
    }
    (void)engine::PlaceUnder(destination, base.string(), name, engine::MissingFolders::Make);
    // Nothing beside the base folder, and below it only real folders: a
    // walk that never follows a link then stays inside the base.
    for (const fs::directory_entry& entry : fs::directory_iterator(fuzz::ScratchFolder())) {
        FUZZ_CHECK(entry.path() == base);
    }
    std::vector<fs::path> top;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(base)) {
        FUZZ_CHECK(entry.is_directory() && !entry.is_symlink());
        if (entry.path().parent_path() == base) {
            top.push_back(entry.path());
        }
    }
    std::error_code error;
    for (const fs::path& folder : top) {
        fs::remove_all(folder, error);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view folder = kFolders[data[0] % kFolders.size()];
    const std::string_view name = fuzz::AsText({data + 1, size - 1});
    CheckJoin(folder, name);
    // Real folders only for some names of a plausible size: each input
    // makes and removes them.
    if (name.size() <= 200 && data[0] >= 224) {
        CheckFolders(name);
    }
    return 0;
}
