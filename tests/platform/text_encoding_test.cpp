// Conversion between code pages: the service's names into UTF-8, and the
// local service's way back.

#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using platform::TextConverter;

TEST(TextConverterTest, ConvertsWholeTextsOrRefusesThoseWithAByteWithoutCharacter) {
    const std::string longAccented = [] {
        std::string text;
        for (int i = 0; i < 600; ++i) {
            text += "\xc3\xa9";  // more than one round of the converter's buffer
        }
        return text;
    }();
    const struct {
        const char* from;
        const char* to;
        std::string text;
        std::optional<std::string> converted;  // nothing: refused
    } rows[] = {
        {"WINDOWS-1252", "UTF-8", "Plain name.txt", "Plain name.txt"},
        {"WINDOWS-1252", "UTF-8", "", ""},
        {"WINDOWS-1252", "UTF-8", "Caf\xe9.pdf", "Caf\xc3\xa9.pdf"},
        {"WINDOWS-1252", "UTF-8", "\x80 100.txt", "\xe2\x82\xac 100.txt"},
        {"windows-1252", "UTF-8", "\xff", "\xc3\xbf"},
        {"WINDOWS-1252", "UTF-8", std::string(600, '\xe9'), longAccented},
        // The five bytes that Windows-1252 leaves without a character.
        {"WINDOWS-1252", "UTF-8", "a\x81.txt", std::nullopt},
        {"WINDOWS-1252", "UTF-8", "\x8d", std::nullopt},
        {"WINDOWS-1252", "UTF-8", "\x8f", std::nullopt},
        {"WINDOWS-1252", "UTF-8", "\x90", std::nullopt},
        {"WINDOWS-1252", "UTF-8", "\x9d", std::nullopt},
        {"ISO-8859-15", "UTF-8", "\xa4", "\xe2\x82\xac"},
        {"ISO-8859-1", "UTF-8", "\xa4", "\xc2\xa4"},
        // The local service's way.
        {"UTF-8", "WINDOWS-1252", "\xe2\x82\xac Caf\xc3\xa9", "\x80 Caf\xe9"},
        {"UTF-8", "WINDOWS-1252", "\xe6\x97\xa5.txt", std::nullopt},
        {"UTF-8", "WINDOWS-1252", "cut \xc3", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.from) + " -> " + row.to + ": " + row.text.substr(0, 20));
        auto converter = TextConverter::Open(row.from, row.to);
        ASSERT_TRUE(converter.ok()) << converter.error().Message();
        const auto converted = converter->Convert(row.text);
        if (row.converted) {
            ASSERT_TRUE(converted.ok()) << converted.error().Message();
            EXPECT_EQ(*converted, *row.converted);
        } else {
            ASSERT_FALSE(converted.ok()) << *converted;
            EXPECT_TRUE(converted.error().NoCharacter()) << converted.error().Message();
        }
    }
}

// A code page with shift states: a text must end in the initial state, and
// one that failed half-way must not leave the next starting in another.
TEST(TextConverterTest, EveryTextStartsAndEndsInTheInitialShiftState) {
    auto converter = TextConverter::Open("UTF-8", "ISO-2022-JP");
    if (!converter.ok() && converter.error().UnknownCodePage()) {
        GTEST_SKIP() << "this system knows no code page with shift states by that name";
    }
    ASSERT_TRUE(converter.ok()) << converter.error().Message();
    const auto kanji = converter->Convert("\xe6\x97\xa5");
    ASSERT_TRUE(kanji.ok()) << kanji.error().Message();
    EXPECT_EQ(*kanji, "\x1b$BF|\x1b(B");
    ASSERT_FALSE(converter->Convert("\xe6\x97\xa5\xff").ok());
    const auto next = converter->Convert("a");
    ASSERT_TRUE(next.ok()) << next.error().Message();
    EXPECT_EQ(*next, "a");
}

TEST(TextConverterTest, OpensOnlyCodePagesTheSystemKnowsByName) {
    for (const std::string_view name : {std::string_view("NO-SUCH-CODE-PAGE"), std::string_view(),
                                        std::string_view("UTF-8\0", 6)}) {
        SCOPED_TRACE(std::string(name));
        const auto converter = TextConverter::Open(name, platform::kUtf8);
        ASSERT_FALSE(converter.ok());
        EXPECT_TRUE(converter.error().UnknownCodePage());
    }
    EXPECT_FALSE(TextConverter::Open(platform::kUtf8, "").ok());
    EXPECT_FALSE(TextConverter::Open(platform::kUtf8, "NO-SUCH-CODE-PAGE").ok());
}

}  // namespace
