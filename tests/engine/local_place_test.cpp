// A listed file's place below the destination: its folders entered (and
// made) one level at a time, never through a link.

#include <gtest/gtest.h>

#include <string_view>

#include "engine/local_place.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using engine::MissingFolders;
using engine::PlaceUnder;

TEST(LocalPlaceTest, FoldersAreMadeLevelByLevelButNeverThroughALink) {
    testing_support::TempDir dir;
    dir.Write("dest/plain", "x");
    dir.Write("outside/.keep", "");
    const bool link = testing_support::MakeLink(dir.Sub("outside"), dir.Sub("dest/away"));
    const auto destination = platform::Folder::Open(dir.Sub("dest"));
    ASSERT_TRUE(destination.ok());

    auto missing =
        PlaceUnder(*destination, dir.Sub("dest"), "one\\two\\a.txt", MissingFolders::Fail);
    EXPECT_TRUE(missing.error().NotFound());
    EXPECT_FALSE(platform::Exists(dir.Sub("dest/one")));

    for (int time = 0; time < 2; ++time) {  // existing folders are entered again
        auto made =
            PlaceUnder(*destination, dir.Sub("dest"), "one\\two\\a.txt", MissingFolders::Make);
        ASSERT_TRUE(made.ok());
        EXPECT_EQ(made->folderPath, dir.Sub("dest/one/two"));
        EXPECT_EQ(made->name, "a.txt");
        EXPECT_TRUE(platform::GetFileInfo(dir.Sub("dest/one/two"))->isDirectory);
        EXPECT_FALSE(platform::Exists(dir.Sub("dest/one/two/a.txt")));
    }
    for (const char* name : {"plain\\inner.txt", "away\\inner.txt", "away\\new\\inner.txt"}) {
        if (!link && std::string_view(name).starts_with("away")) {
            continue;
        }
        auto refused = PlaceUnder(*destination, dir.Sub("dest"), name, MissingFolders::Make);
        EXPECT_TRUE(refused.error().WrongKind()) << name;
    }
    EXPECT_FALSE(platform::Exists(dir.Sub("outside/new")));
    if (!link) {
        GTEST_SKIP() << "the link rows did not run: this system could not make a link";
    }
}

}  // namespace
