#pragma once
// What the network fault tests judge after each run of the program: the
// file lines it showed with the final line of each, and the destination
// against the key's files and against what the destination held before.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "e2e/e2e_harness.h"

namespace e2e {

// One file as the display showed it: the name from its file line
// ("b.bin  6K  (2 of 3)") and the final line shown for it.
struct ShownFile {
    std::string name;
    std::string finalLine;  // empty when the display moved on without one
};

// The files of a run's display in order. A file shown again (after a
// retry of the whole download) is listed again; a sized line that replaces
// the unsized one of the same file is not.
std::vector<ShownFile> ShownFiles(const std::vector<std::string>& lines);

// The "Processing Failed Retry Attempt N" lines of a run.
int RetryAttempts(const std::vector<std::string>& lines);

// "Complete" and "Update File Complete": the file is there and whole.
bool IsDoneLine(std::string_view line);

// A temporary file of the download ("name~" or "name~unzip"): the name of
// the file it belongs to, or empty.
std::string TemporaryOwner(std::string_view name);

// Every file shown done holds its source bytes and date in `destination`
// at the end of the run. With `onceOnly` (a run that keeps what is already
// there), a file is also shown done at most once: a second time would mean
// that the first "done" left something that had to be fetched again.
::testing::AssertionResult ShownDoneIsDone(const std::vector<std::string>& lines,
                                           const Tree& source, const Tree& destination,
                                           bool onceOnly);

// Every file of `destination` is a key file holding its source or what
// `before` held (never anything else), every file of `before` is still
// there, and a temporary file ("name~") of a key file is there only when
// `temporariesAllowed`. "name~unzip" is never left behind.
::testing::AssertionResult NothingWrongOrLost(const Tree& source, const Tree& before,
                                              const Tree& destination, bool temporariesAllowed);

}  // namespace e2e
