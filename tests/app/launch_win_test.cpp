// Launch on Windows: the first argument from the raw command line, and key
// file paths that name devices rather than files.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/transfer_app.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace {

TEST(UnsplitCommandLine, IsTheRawLineWithThisProgramFirst) {
    const std::optional<std::string> line = platform::UnsplitCommandLine();
    ASSERT_TRUE(line.has_value()) << "Windows passes one unsplit line";
    EXPECT_NE(line->find("app_tests"), std::string::npos) << *line;
    // The test runner starts this program with its options: the first is
    // what the launch rules take as the key file's path.
    const std::optional<std::string> first = app::FirstArgument(*line);
    ASSERT_TRUE(first.has_value()) << *line;
    EXPECT_TRUE(first->starts_with("--gtest")) << *first;
    const char* argv[] = {"app_tests", "ignored"};
    EXPECT_EQ(app::KeyFileArgument(line, 2, argv), first);
}

TEST(KeyFileOnWindows, DevicesAreNeverOpenedOrDeleted) {
    const testing_support::TempDir dir;
    // Opening a console or port can wait for input or act on the device;
    // a pipe's name can be anyone's.
    for (const std::string& path :
         {std::string("CON"), std::string("nul"), dir.Sub("aux.txt"), dir.Sub("COM1"),
          std::string("\\\\.\\pipe\\trevasto-key"), std::string("\\\\.\\NUL"), dir.path()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(app::ReadKeyFile(path), std::nullopt);
        EXPECT_EQ(app::TakeKeyFile(path).source, app::LaunchKey::Source::UnusableFile);
    }
}

}  // namespace
