#include "app/console/program_options.h"

namespace app {
namespace {

constexpr const char* kUsage =
    "Usage: trevasto KEYFILE\n"
    "       trevasto -h | --help | -V | --version\n"
    "\n"
    "Downloads the files of a Quorvane download key into a folder you choose.\n"
    "KEYFILE holds \"download=\" and the key; the Quorvane web side writes it and\n"
    "starts the program, which deletes it once read.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "Without a display, or with TREVASTO_UI=console, the console asks for the\n"
    "destination folder (\"~\" is your home folder) on standard input. Ctrl-C\n"
    "stops a download and keeps the file in progress for the next run.\n"
    "See trevasto(1).\n";

}  // namespace

std::optional<std::string> OptionText(const std::optional<std::string>& argument,
                                      std::string_view version) {
    if (!argument) {
        return std::nullopt;
    }
    if (*argument == "-h" || *argument == "--help") {
        return std::string(kUsage);
    }
    if (*argument == "-V" || *argument == "--version") {
        return "trevasto " + std::string(version) + "\n";
    }
    return std::nullopt;
}

}  // namespace app
