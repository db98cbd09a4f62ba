// Launch on POSIX systems: the arguments come split.

#include <gtest/gtest.h>

#include "platform/process.h"

namespace {

TEST(UnsplitCommandLine, NoneWhereTheSystemPassesArgvSplit) {
    EXPECT_FALSE(platform::UnsplitCommandLine()) << "this system passes argv split";
}

}  // namespace
