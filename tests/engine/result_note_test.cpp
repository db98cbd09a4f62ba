// Notes for the user in the results work file.

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/result_note.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using engine::NoteKind;

class ResultNoteTest : public ::testing::Test {
  protected:
    ResultNoteTest() : log_(clock_) {
        log_.SetDirectory(dir_.path());
        log_.Open(1);
    }
    std::string Results() const { return dir_.Read(" Results.tmp"); }

    testing_support::FakeClock clock_;
    testing_support::TempDir dir_;
    control::ActivityLog log_;
    bool commNoteWritten_ = false;
};

TEST_F(ResultNoteTest, TwoCommunicationNotesWriteTheParagraphOnce) {
    engine::WriteResultNote(log_, commNoteWritten_, "VDLK", NoteKind::CommFailure, false, {});
    engine::WriteResultNote(log_, commNoteWritten_, "File Download 2", NoteKind::CommFailure, false,
                            {});
    const std::string text = Results();
    const std::string paragraph =
        "\r\n\r\nThe download was terminated due to a problem communicating with the Quorvane "
        "servers.\r\n\r\nThe problem may be with your PC or Internet connection, or a temporary "
        "problem related to the Quorvane servers.\r\n\r\nRunning the download again will often "
        "resolve the problem. If the problem persists contact Quorvane Support.\r\n";
    EXPECT_EQ(text, paragraph + "Comm Request/File VDLK\r\nComm Request/File File Download 2\r\n");
    EXPECT_TRUE(commNoteWritten_);
}

TEST_F(ResultNoteTest, CommunicationNoteWithoutResultsFileOnlyRemembersIt) {
    testing_support::FakeClock clock;
    control::ActivityLog closed(clock);
    bool written = false;
    engine::WriteResultNote(closed, written, "DLCK", NoteKind::CommFailure, false, {});
    EXPECT_TRUE(written);
}

TEST_F(ResultNoteTest, OpenFailureNamesFileFolderAndReason) {
    engine::WriteResultNote(log_, commNoteWritten_, "/home/u/Downloads/report.pdf",
                            NoteKind::OpenFailure, false, platform::SysError{EACCES});
    EXPECT_EQ(Results(), "\r\nreport.pdf\r\n   in folder: /home/u/Downloads\r\n   " +
                             platform::SysError{EACCES}.Message() + "\r\n");
    EXPECT_FALSE(commNoteWritten_);
}

TEST_F(ResultNoteTest, OpenFailureWithoutFolderAndSharingViolation) {
    engine::WriteResultNote(log_, commNoteWritten_, "report.pdf", NoteKind::OpenFailure, false,
                            platform::SysError{EWOULDBLOCK});
    EXPECT_EQ(Results(), "\r\nreport.pdf\r\n   in folder: \\\r\n   could not be opened\r\n");
}

TEST_F(ResultNoteTest, NotFoundIsReportedOnlyWhenAskedFor) {
    engine::WriteResultNote(log_, commNoteWritten_, "/d/gone.txt", NoteKind::OpenFailure, false,
                            platform::SysError{ENOENT});
    EXPECT_EQ(Results(), "");
    engine::WriteResultNote(log_, commNoteWritten_, "/d/gone.txt", NoteKind::OpenFailure, true,
                            platform::SysError{ENOENT});
    EXPECT_NE(Results().find("gone.txt"), std::string::npos);
}

}  // namespace
