#pragma once
// The options the program answers before anything else: --help and
// --version print their text and end it without touching a file.

#include <optional>
#include <string>
#include <string_view>

namespace app {

// The text to print for the program's first argument when it is -h,
// --help, -V or --version (a key file of one of these names is then taken
// for the option; "./-h" names the file); nothing for any other argument.
std::optional<std::string> OptionText(const std::optional<std::string>& argument,
                                      std::string_view version);

}  // namespace app
