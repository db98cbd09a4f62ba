// Launch: the key file's argument, the key file and its deletion.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/transfer_app.h"
#include "platform/file.h"
#include "platform/process.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using app::FirstArgument;

TEST(FirstArgument, QuotedAndUnquotedProgramNames) {
    EXPECT_EQ(FirstArgument("\"C:\\Program Files\\t.exe\""), std::nullopt);
    EXPECT_EQ(FirstArgument("\"C:\\t.exe\" \"C:\\keys\\k 1.txt\""), "C:\\keys\\k 1.txt");
    EXPECT_EQ(FirstArgument("t.exe    /tmp/k.txt"), "/tmp/k.txt");
    EXPECT_EQ(FirstArgument("t.exe"), std::nullopt);
    EXPECT_EQ(FirstArgument(""), std::nullopt);
}

TEST(FirstArgument, UnquotedArgumentRunsToTheEndOfTheLine) {
    EXPECT_EQ(FirstArgument("t.exe /tmp/my key.txt more words  "), "/tmp/my key.txt more words  ");
    EXPECT_EQ(FirstArgument("t.exe \"/tmp/k.txt\" ignored"), "/tmp/k.txt");
}

TEST(FirstArgument, UnclosedOrEmptyQuotesGiveNoArgument) {
    EXPECT_EQ(FirstArgument("t.exe \"/tmp/k.txt"), std::nullopt);
    EXPECT_EQ(FirstArgument("t.exe \"\""), std::nullopt);
    EXPECT_EQ(FirstArgument("t.exe    "), std::nullopt);
    EXPECT_EQ(FirstArgument("\"t.exe\" "), std::nullopt);
}

TEST(FirstArgument, CharacterAfterTheClosingQuoteIsAlwaysSkipped) {
    EXPECT_EQ(FirstArgument("\"t.exe\"xkey.txt"), "key.txt");
    EXPECT_EQ(FirstArgument("\"t.exe\"x   key.txt"), "key.txt");
    // Tabs do not separate.
    EXPECT_EQ(FirstArgument("t.exe\tk.txt"), std::nullopt);
}

TEST(KeyFileArgument, Argv1AsGivenUnlessTheSystemPassesAnUnsplitLine) {
    using Argv = std::vector<const char*>;
    const struct {
        std::optional<std::string> unsplit;
        Argv argv;
        std::optional<std::string> expected;
    } cases[] = {
        // Split by the system already: no quote rule applies again.
        {std::nullopt, {"trevasto", "\"victim\" key.qvnkey"}, "\"victim\" key.qvnkey"},
        {std::nullopt, {"trevasto", " x"}, " x"},
        {std::nullopt, {"/opt/my apps/trevasto", "/tmp/key 2.qvn", "more"}, "/tmp/key 2.qvn"},
        {std::nullopt, {"", "=revast"}, "=revast"},
        {std::nullopt, {"trevasto", ""}, std::nullopt},
        {std::nullopt, {"trevasto"}, std::nullopt},
        {std::nullopt, {}, std::nullopt},
        // An unsplit line is the only source where there is one.
        {"\"C:\\t.exe\" \"C:\\keys\\k 1.txt\"", {"t.exe", "ignored"}, "C:\\keys\\k 1.txt"},
        {"t.exe", {"t.exe", "ignored"}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::KeyFileArgument(c.unsplit, static_cast<int>(c.argv.size()), c.argv.data()),
                  c.expected)
            << (c.argv.size() > 1 ? c.argv[1] : "(no argument)");
    }
}

class KeyFileTest : public ::testing::Test {
  protected:
    std::optional<std::string> Read(const std::string& content) {
        dir_.Write("key.txt", content);
        return app::ReadKeyFile(dir_.Sub("key.txt"));
    }
    testing_support::TempDir dir_;
};

TEST_F(KeyFileTest, KeyFollowsTheMarkerVerbatim) {
    EXPECT_EQ(Read("DOWNLOAD=abc"), "abc");
    EXPECT_EQ(Read("download=abc\r\n"), "abc\n");
    EXPECT_EQ(Read("Download= a b "), " a b ");
    EXPECT_EQ(Read("download="), "") << "an empty key is a usable file";
    EXPECT_EQ(Read(std::string("download=ab\0cd", 14)), "ab");
}

TEST_F(KeyFileTest, OnlyTheFirst255BytesAreRead) {
    const std::string content = "download=" + std::string(291, 'k');
    auto key = Read(content);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->size(), 255u - 9u);
}

TEST_F(KeyFileTest, UnusableFiles) {
    EXPECT_FALSE(Read(""));
    EXPECT_FALSE(Read("downloads=abc"));
    EXPECT_FALSE(Read("xdownload=abc"));
    EXPECT_FALSE(Read("download"));
    EXPECT_FALSE(app::ReadKeyFile(dir_.Sub("missing.txt")));
    EXPECT_FALSE(app::ReadKeyFile(dir_.path())) << "a folder";
    // A FIFO without a writer would block an ordinary open for ever.
    if (!testing_support::MakeFifo(dir_.Sub("fifo"))) {
        GTEST_SKIP() << "the FIFO row did not run: this system has no FIFOs";
    }
    EXPECT_FALSE(app::ReadKeyFile(dir_.Sub("fifo")));
}

TEST_F(KeyFileTest, OnlyAKeyFileIsTaken) {
    using Source = app::LaunchKey::Source;
    const struct {
        const char* content;
        app::LaunchKey expected;
    } cases[] = {
        {"download=XYZ", {Source::KeyFile, "XYZ"}},
        {"DownLoad=", {Source::KeyFile, ""}},
        {"upload=XYZ", {Source::UnusableFile, ""}},
        {"My thesis, chapter one", {Source::UnusableFile, ""}},
        {"", {Source::UnusableFile, ""}},
    };
    for (const auto& c : cases) {
        dir_.Write("k.txt", c.content);
        EXPECT_EQ(app::TakeKeyFile(dir_.Sub("k.txt")), c.expected) << c.content;
        const bool keyFile = c.expected.source == Source::KeyFile;
        EXPECT_EQ(dir_.Read("k.txt"), keyFile ? "" : c.content) << c.content;
        EXPECT_EQ(platform::Exists(dir_.Sub("k.txt")), !keyFile) << c.content;
    }
    EXPECT_EQ(app::TakeKeyFile(dir_.Sub("missing.txt")).source, Source::UnusableFile);
    EXPECT_EQ(app::TakeKeyFile(std::nullopt), app::LaunchKey{});
    if (!testing_support::MakeFifo(dir_.Sub("fifo"))) {
        GTEST_SKIP() << "the FIFO row did not run: this system has no FIFOs";
    }
    EXPECT_EQ(app::TakeKeyFile(dir_.Sub("fifo")).source, Source::UnusableFile);
    EXPECT_TRUE(platform::Exists(dir_.Sub("fifo")));
}

class RecordingHost final : public app::LaunchHost {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void RunDialog(const std::optional<std::string>& key) override {
        ++runs;
        lastKey = key;
    }
    std::vector<std::string> messages;
    int runs = 0;
    std::optional<std::string> lastKey;
};

TEST(Launch, EachKindOfLaunchKeyShowsItsMessageAndRunsTheDialogOrNot) {
    using Source = app::LaunchKey::Source;
    using Strings = std::vector<std::string>;
    const struct {
        app::LaunchKey launchKey;
        app::LaunchResult result;
        Strings messages;
        int runs;
        std::optional<std::string> key;
    } cases[] = {
        {{Source::KeyFile, "XYZ"}, app::LaunchResult::DialogRan, {}, 1, "XYZ"},
        {{Source::UnusableFile, ""},
         app::LaunchResult::UnusableKeyFile,
         {app::kNoLongerValidText},
         0,
         std::nullopt},
        {{Source::NoArgument, ""},
         app::LaunchResult::DialogRan,
         {app::kMustBeInitiatedText},
         1,
         std::nullopt},
    };
    for (const auto& c : cases) {
        RecordingHost host;
        EXPECT_EQ(app::TransferApp::Launch(c.launchKey, host), c.result);
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_EQ(host.runs, c.runs);
        EXPECT_EQ(host.lastKey, c.key);
    }
}

}  // namespace
