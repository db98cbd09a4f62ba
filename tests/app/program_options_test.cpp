// The options answered before anything else: only the first argument's
// exact -h, --help, -V or --version.

#include "app/console/program_options.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionText, HelpAndVersionOnlyForTheirExactNames) {
    const struct {
        std::optional<std::string> argument;
        const char* begins;  // nullptr: not an option (a key file's path)
    } cases[] = {
        {"-h", "Usage: trevasto KEYFILE\n"},
        {"--help", "Usage: trevasto KEYFILE\n"},
        {"-V", "trevasto 1.2.3\n"},
        {"--version", "trevasto 1.2.3\n"},
        {std::nullopt, nullptr},
        {"key.qvnkey", nullptr},
        {"./-h", nullptr},
        {"--HELP", nullptr},
        {"-v", nullptr},
        {"-hV", nullptr},
        {"--help ", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument.value_or("(none)"));
        const std::optional<std::string> text = app::OptionText(c.argument, "1.2.3");
        if (c.begins == nullptr) {
            EXPECT_EQ(text, std::nullopt);
        } else {
            ASSERT_TRUE(text);
            EXPECT_TRUE(text->starts_with(c.begins)) << *text;
        }
    }
    const std::string usage = app::OptionText("--help", "1.2.3").value_or("");
    for (const char* part : {"-h, --help", "-V, --version", "TREVASTO_UI=console", "\"~\""}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(app::OptionText("--version", "1.2.3"), "trevasto 1.2.3\n");
}

}  // namespace
