// Parsing the key's file list and escaping listed names.

#include <gtest/gtest.h>

#include "engine/key_file_list.h"

namespace {

using engine::ParseKeyFileList;

TEST(KeyFileList, OneRecordEndedByCrLf) {
    const auto list =
        ParseKeyFileList("7\tTop\\a.txt\t10\t07D60C1F0F2D1E\t0\t0\t\r\n", /*keepBackslash=*/true);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].fileId, "7");
    EXPECT_EQ(list[0].relativeName, "Top\\a.txt");
    EXPECT_EQ(list[0].numberA, 10);
    EXPECT_EQ(list[0].serverDate, "07D60C1F0F2D1E");
    EXPECT_EQ(list[0].duplicateCount, 0);
    EXPECT_FALSE(list[0].overWidth);
}

TEST(KeyFileList, RecordsShortFieldsAndTheEnd) {
    // No final TAB: the last record still counts; a record cut after field 2
    // keeps an empty date and zeros.
    auto list = ParseKeyFileList("1\tT\\a\t5\t \t3\t9\t2\tT\\b", true);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].serverDate, " ");
    EXPECT_EQ(list[0].duplicateCount, 3);
    EXPECT_EQ(list[0].numberB, 9);
    EXPECT_EQ(list[1].fileId, "2");
    EXPECT_EQ(list[1].relativeName, "T\\b");
    EXPECT_EQ(list[1].serverDate, "");
    EXPECT_EQ(list[1].numberA, 0);
    // The text ends at its first NUL byte.
    list = ParseKeyFileList(std::string("1\tT\\a\t5\t \t3\t9\t\0\0\0\0junk\tmore\t", 26), true);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(ParseKeyFileList("", true).empty());
    EXPECT_TRUE(ParseKeyFileList("\r\n", true).empty());
}

TEST(KeyFileList, TabRunsCountAsOneAndShiftLaterFields) {
    const auto list = ParseKeyFileList("\t\t1\tT\\a\t\t5\t07D60C1F0F2D1E\t0\t0\t", true);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].fileId, "1");
    EXPECT_EQ(list[0].numberA, 5);
    // An empty field cannot be sent: it shifts the rest of the record.
    const auto shifted = ParseKeyFileList("1\tT\\a\t\t07D60C1F0F2D1E\t0\t0\t", true);
    ASSERT_EQ(shifted.size(), 1u);
    EXPECT_EQ(shifted[0].numberA, 7) << "the date's leading digits read as the number";
    EXPECT_EQ(shifted[0].serverDate, "0");
}

TEST(KeyFileList, CrInsideAFieldIsOrdinaryButEndsTheListInFirstPosition) {
    const auto list = ParseKeyFileList("1\tT\\a\rb\t0\t \t0\t0\t\r\n2\tT\\c\t0\t \t0\t0\t", true);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].relativeName, "T\\ab") << "CR and LF are dropped from names";
}

TEST(KeyFileList, NumbersThatAreNotNumbersOrTooBig) {
    const auto list =
        ParseKeyFileList("1\tT\\a\tabc\t \t99999999999999999999\t-99999999999\t", true);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].numberA, 0);
    EXPECT_EQ(list[0].duplicateCount, INT32_MAX);
    EXPECT_EQ(list[0].numberB, INT32_MIN);
}

TEST(KeyFileList, FieldsWiderThanTheClientHoldsAreMarked) {
    const std::string id16(16, '9');
    const std::string name512 = "T\\" + std::string(510, 'n');
    const std::string date32(32, '0');
    EXPECT_TRUE(ParseKeyFileList(id16 + "\tT\\a\t0\t \t0\t0\t", true)[0].overWidth);
    EXPECT_FALSE(
        ParseKeyFileList(std::string(15, '9') + "\tT\\a\t0\t \t0\t0\t", true)[0].overWidth);
    EXPECT_TRUE(ParseKeyFileList("1\t" + name512 + "\t0\t \t0\t0\t", true)[0].overWidth);
    EXPECT_FALSE(ParseKeyFileList("1\t" + name512.substr(1) + "\t0\t \t0\t0\t", true)[0].overWidth);
    EXPECT_TRUE(ParseKeyFileList("1\tT\\a\t0\t" + date32 + "\t0\t0\t", true)[0].overWidth);
    // The width counts after escaping: 170 colons become 510 characters.
    EXPECT_TRUE(ParseKeyFileList("1\tT\\" + std::string(170, ':') + "\t", true)[0].overWidth);
}

TEST(EscapeFileName, EscapesAndRemovals) {
    std::string name = "Top\\re:port?.doc";
    engine::EscapeFileName(name, true);
    EXPECT_EQ(name, "Top\\re%3aport%3f.doc");
    name = "Top\\re:port?.doc";
    engine::EscapeFileName(name, false);
    EXPECT_EQ(name, "Top%5cre%3aport%3f.doc");
    name = "a\"b*c/d<e>f|g\r\nh%";
    engine::EscapeFileName(name, true);
    EXPECT_EQ(name, "a%22b%2ac%2fd%3ce%3ef%7cgh%");
}

TEST(EscapeBytes, WritesEveryByteOutsidePrintableAsciiInHex) {
    EXPECT_EQ(engine::EscapeBytes("Caf\xe9\x81 \t\x7f~\\.txt"), R"(Caf\xe9\x81 \x09\x7f~\.txt)");
}

TEST(DropTopFolder, TextAfterTheFirstBackslash) {
    std::string name = "Top\\sub\\file.txt";
    engine::DropTopFolder(name);
    EXPECT_EQ(name, "sub\\file.txt");
    name = "plain.txt";
    engine::DropTopFolder(name);
    EXPECT_EQ(name, "plain.txt");
}

}  // namespace
