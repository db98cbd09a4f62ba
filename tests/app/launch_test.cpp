// Launch: the first argument, the key file and its deletion.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/transfer_app.h"
#include "platform/file.h"
#include "platform/process.h"
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

TEST(FirstArgument, FindsTheKeyFileInTheLineRebuiltFromArgv) {
    struct Case {
        const char* program;
        const char* keyFile;
    };
    const Case cases[] = {
        {"/usr/bin/trevasto", "/home/ana/Downloads/key.qvn"},
        {"/opt/my apps/trevasto", "/tmp/key 2.qvn"},
        {"", "=revast"},  // an empty argv[0]
        {"", "/tmp/key file.qvn"},
    };
    for (const Case& c : cases) {
        const char* argv[] = {c.program, c.keyFile};
        EXPECT_EQ(FirstArgument(platform::RawCommandLine(2, argv)), std::string(c.keyFile))
            << "program '" << c.program << "'";
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

TEST_F(KeyFileTest, LaunchWithAGoodKeyFileRunsTheDialogAndDeletesTheFile) {
    dir_.Write("k.txt", "download=XYZ");
    RecordingHost host;
    EXPECT_EQ(app::TransferApp::Launch("trevasto " + dir_.Sub("k.txt"), host),
              app::LaunchResult::DialogRan);
    EXPECT_EQ(host.runs, 1);
    EXPECT_EQ(host.lastKey, "XYZ");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(platform::Exists(dir_.Sub("k.txt")));
}

TEST_F(KeyFileTest, LaunchWithAnUnusableFileShowsTheMessageAndStillDeletesIt) {
    dir_.Write("k.txt", "upload=XYZ");
    RecordingHost host;
    EXPECT_EQ(app::TransferApp::Launch("trevasto " + dir_.Sub("k.txt"), host),
              app::LaunchResult::UnusableKeyFile);
    EXPECT_EQ(host.runs, 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{app::kNoLongerValidText});
    EXPECT_FALSE(platform::Exists(dir_.Sub("k.txt")));
    // A missing file gives the same message.
    RecordingHost again;
    app::TransferApp::Launch("trevasto " + dir_.Sub("k.txt"), again);
    EXPECT_EQ(again.messages, std::vector<std::string>{app::kNoLongerValidText});
}

TEST(Launch, WithoutArgumentTheDialogRunsWithoutAKey) {
    RecordingHost host;
    EXPECT_EQ(app::TransferApp::Launch("trevasto", host), app::LaunchResult::DialogRan);
    EXPECT_EQ(host.messages, std::vector<std::string>{app::kMustBeInitiatedText});
    EXPECT_EQ(host.runs, 1);
    EXPECT_FALSE(host.lastKey);
}

}  // namespace
