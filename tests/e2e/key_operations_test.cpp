// The key's own operations seen from outside: verification, the destination
// test with its replace question, completion, and a key the service does
// not know.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

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
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_EQ(run.RequestSummary(),
              (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DLCK"}))
        << run.Describe();
    EXPECT_EQ(run.errorText.find("Replace existing files?"), std::string::npos) << run.errorText;
    EXPECT_EQ(run.lines,
              (Strings{"a.txt  1K  (1 of 2)", "Complete", "b.bin  3K  (2 of 2)", "Complete",
                       "Processing Complete", " Download Processing Complete"}))
        << run.Describe();
    EXPECT_TRUE(SameTree(files, DestinationTree()));
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
    EXPECT_TRUE(DestinationTree().empty());
}

}  // namespace
}  // namespace e2e
