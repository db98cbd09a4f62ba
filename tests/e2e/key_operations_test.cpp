// The key's own operations seen from outside: verification, the destination
// test with its replace question, completion, and a key the service does
// not know.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "platform/file.h"

namespace e2e {
namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using Strings = std::vector<std::string>;

class KeyOperationsTest : public EndToEndTest {};

TEST_F(KeyOperationsTest, AnEmptyDestinationIsFilledWithoutAQuestionAndCompletionIsSent) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.bin", {PatternBytes(3000)}}};
    WriteKey("K1", files);
    StartServices();

    const ProgramRun run = Run("K1", Answers());
    ExpectOutcome(run, {0,
                        files,
                        {"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DLCK"},
                        {"a\\.txt  1K  \\(1 of 2\\)", "Complete", "b\\.bin  3K  \\(2 of 2\\)",
                         "Complete", "Processing Complete", " Download Processing Complete"}});
    // The run's summary follows (console_test.cpp).
    EXPECT_TRUE(
        run.errorText.starts_with("Checking the download key...\nDestination Folder "
                                  "(empty to cancel): \nDestination Folder: " +
                                  ShownDestination() + "\nDone: "))
        << run.errorText;
    EXPECT_FALSE(platform::Exists(work_.Sub("key.txt"))) << "the key file is for one launch";
}

TEST_F(KeyOperationsTest, AnUnknownKeyEndsWithTheNoLongerValidMessage) {
    StartServices();
    const ProgramRun run = Run("NOSUCHKEY", Answers());
    EXPECT_EQ(run.ExitCode(), 1) << run.Describe();
    EXPECT_EQ(run.lines, (Strings{"This list of files to download is no longer valid.", "",
                                  "Downloads must be initiated by the Quorvane browser interface",
                                  " by first logging into a Quorvane account."}))
        << run.Describe();
    EXPECT_EQ(run.RequestSummary(), Strings{"VDLK"}) << run.Describe();
    EXPECT_EQ(run.errorText, "Checking the download key...\n") << "no folder is asked for";
    EXPECT_TRUE(DestinationTree().empty());
}

// Files already in the destination bring the replace question. "yes"
// replaces every listed one whole, undescribed, whatever its date; files
// the key does not list stay. "no" ends the run before any file is asked
// for and leaves the destination as it was.
TEST_F(KeyOperationsTest, ExistingFilesAreReplacedWholeOnlyWhenTheUserAgrees) {
    const platform::FileTime date = NewYearsEve2006();
    const Tree served{{"a.txt", {"alpha\n", date}}, {"b.bin", {PatternBytes(5000), date}}};
    const Tree existing{
        {"a.txt", {"alpha\n", Shifted(date, -86400)}},         // an older identical copy
        {"b.bin", {PatternBytes(2048), Shifted(date, 3600)}},  // a later partial one
        {"mine.txt", {"not the key's\n", date}},
    };
    WriteKey("K2", served);
    StartServices();
    const struct {
        const char* answer;
        int exitCode;
        Strings requests;
    } cases[] = {
        {"yes", 0, {"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DLCK"}},
        {"no", 1, {"VDLK", "DKFL"}},
        // The end of the input answers no as well.
        {"", 1, {"VDLK", "DKFL"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ClearDestination();
        WriteDestination(existing);
        const ProgramRun run =
            Run("K2", *c.answer ? Answers(c.answer) : Strings{ProgramPath(Destination())});

        EXPECT_EQ(run.ExitCode(), c.exitCode) << run.Describe();
        EXPECT_NE(run.errorText.find(" Replace existing files? [OK/Cancel] "), std::string::npos)
            << run.errorText;
        EXPECT_EQ(run.RequestSummary(), c.requests) << run.Describe();
        for (const qvn_service::LoggedRequest& request : run.requests) {
            EXPECT_EQ(HeaderValue(request.block, "X-QVN-RESTART2: "), std::nullopt)
                << request.block;
            EXPECT_EQ(HeaderValue(request.block, "X-QVN-DINSDALE: "), std::nullopt)
                << request.block;
        }
        Tree expected = existing;
        if (c.exitCode == 0) {
            expected.insert_or_assign("a.txt", served.at("a.txt"));
            expected.insert_or_assign("b.bin", served.at("b.bin"));
            EXPECT_EQ(run.FinalLines(),
                      (Strings{"a.txt  1K  (1 of 2)", "Complete", "b.bin  5K  (2 of 2)", "Complete",
                               "Processing Complete", " Download Processing Complete"}))
                << run.Describe();
        } else {
            EXPECT_TRUE(run.lines.empty()) << run.Describe();
        }
        EXPECT_TRUE(SameTree(expected, DestinationTree())) << run.Describe();
    }
}

}  // namespace
}  // namespace e2e
