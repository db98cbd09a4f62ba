// The program's folders in the user's cache and configuration, and the
// downloads folder, from the environment of a POSIX system.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/file.h"
#include "platform/user_folders.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ScopedVariable;

unsigned Permissions(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(UserCacheFolder, FromXdgCacheHomeOrHomeCreatedForTheUserAlone) {
    const testing_support::TempDir dir;
    dir.Write("file", "x");
    const struct {
        std::optional<std::string> xdgCacheHome;
        std::optional<std::string> home;
        std::optional<std::string> expected;  // below dir
    } cases[] = {
        {"/xdg/deep", "/home", "xdg/deep/trevasto"},
        {std::nullopt, "/home", "home/.cache/trevasto"},
        {"", "/home", "home/.cache/trevasto"},
        {"relative/cache", "/home", "home/.cache/trevasto"},
        {std::nullopt, "relative/home", std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
        {"/file/cache", "/home", std::nullopt},  // cannot be made below a file
    };
    const auto below = [&](const std::optional<std::string>& value) -> std::optional<std::string> {
        return value && value->starts_with('/') ? dir.path() + *value : value;
    };
    for (const auto& c : cases) {
        const ScopedVariable xdg("XDG_CACHE_HOME", below(c.xdgCacheHome));
        const ScopedVariable home("HOME", below(c.home));
        const std::optional<std::string> expected =
            c.expected ? std::optional(dir.Sub(*c.expected)) : std::nullopt;
        EXPECT_EQ(platform::UserCacheFolder(), expected)
            << c.xdgCacheHome.value_or("(unset)") << " " << c.home.value_or("(unset)");
        if (expected) {
            const auto info = platform::GetFileInfo(*expected);
            EXPECT_TRUE(info && info->isDirectory);
            EXPECT_EQ(Permissions(*expected), 0700u);
        }
    }
    EXPECT_EQ(Permissions(dir.Sub("xdg")), 0700u) << "missing parents are the user's alone too";
}

TEST(UserConfigFolder, FromXdgConfigHomeOrHome) {
    const testing_support::TempDir dir;
    {
        const ScopedVariable xdg("XDG_CONFIG_HOME", dir.Sub("conf"));
        EXPECT_EQ(platform::UserConfigFolder(), dir.Sub("conf/trevasto"));
    }
    const ScopedVariable xdg("XDG_CONFIG_HOME", std::nullopt);
    const ScopedVariable home("HOME", dir.Sub("home"));
    EXPECT_EQ(platform::UserConfigFolder(), dir.Sub("home/.config/trevasto"));
    EXPECT_EQ(Permissions(dir.Sub("home/.config/trevasto")), 0700u);
}

TEST(DownloadsFolder, UserDirsEntryThenDownloadsThenHome) {
    const testing_support::TempDir dir;
    const std::string home = dir.Sub("home");
    const ScopedVariable homeVariable("HOME", home);
    const ScopedVariable xdg("XDG_CONFIG_HOME", std::nullopt);
    const struct {
        const char* userDirs;  // nothing: no file
        bool downloadsExists;
        const char* expected;  // below home
    } cases[] = {
        {nullptr, false, ""},
        {nullptr, true, "/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n", true, "/Fetched"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"", false,
         "/Fetched"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Missing\"\n", true, "/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"relative\"\n", false, ""},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Fetched\n", false, ""},  // unclosed quote
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(home);
        dir.Write("home/Fetched/.keep", "");
        if (c.downloadsExists) {
            dir.Write("home/Downloads/.keep", "");
        }
        if (c.userDirs) {
            dir.Write("home/.config/user-dirs.dirs", c.userDirs);
        }
        EXPECT_EQ(platform::DownloadsFolder(), home + c.expected)
            << (c.userDirs ? c.userDirs : "-");
    }
    const ScopedVariable noHome("HOME", std::nullopt);
    EXPECT_EQ(platform::DownloadsFolder(), std::nullopt);
}

}  // namespace
