// The program's folders in the user's local and roaming application data,
// and the downloads folder, on Windows.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/file.h"
#include "platform/user_folders.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ScopedVariable;

bool IsFolder(const std::string& path) {
    const auto info = platform::GetFileInfo(path);
    return info && info->isDirectory;
}

TEST(UserFoldersOnWindows, CacheAndConfigurationFromTheirVariablesWhenAbsolute) {
    const testing_support::TempDir dir;
    dir.Write("file", "x");
    const struct {
        const char* variable;
        std::optional<std::string> (*folder)();
    } kinds[] = {{"LOCALAPPDATA", &platform::UserCacheFolder},
                 {"APPDATA", &platform::UserConfigFolder}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.variable);
        {
            const ScopedVariable variable(kind.variable, dir.Sub("deep\\data"));
            const std::optional<std::string> folder = kind.folder();
            EXPECT_EQ(folder, dir.Sub("deep\\data\\Trevasto"));
            EXPECT_TRUE(folder && IsFolder(*folder)) << "made with its missing levels";
        }
        {
            const ScopedVariable variable(kind.variable, dir.Sub("file\\data"));
            EXPECT_EQ(kind.folder(), std::nullopt) << "cannot be made below a file";
        }
        // A relative value would lead wherever the program started: the
        // system's own folder is taken instead, never the current one.
        const ScopedVariable variable(kind.variable, "relative");
        const std::optional<std::string> folder = kind.folder();
        ASSERT_TRUE(folder.has_value());
        EXPECT_NE(folder->find(":\\"), std::string::npos) << *folder;
        EXPECT_TRUE(folder->ends_with("\\Trevasto")) << *folder;
    }
}

TEST(UserFoldersOnWindows, DownloadsIsAnExistingFolder) {
    const std::optional<std::string> downloads = platform::DownloadsFolder();
    ASSERT_TRUE(downloads.has_value());
    EXPECT_TRUE(IsFolder(*downloads)) << *downloads;
}

}  // namespace
