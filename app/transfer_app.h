#pragma once
// Launch: the key-file path from the raw command line, the key from the
// file (which is deleted in every case), then the transfer dialog.

#include <optional>
#include <string>
#include <string_view>

namespace app {

// The first argument of a raw command line, or nothing. Only the blank
// separates; a quoted program name is skipped together with the one
// character after its closing quote.
std::optional<std::string> FirstArgument(std::string_view commandLine);

// The key of a key file: the text after "download=" (any letter case) in
// the first 255 bytes, verbatim up to the first NUL; nothing when the file
// is unusable.
std::optional<std::string> ReadKeyFile(const std::string& path);

inline constexpr const char* kNoLongerValidText =
    "This list of files to download is no longer valid.\r\n\r\nDownloads must be initiated by "
    "the Quorvane browser interface\r\n by first logging into a Quorvane account.";
inline constexpr const char* kMustBeInitiatedText =
    "Downloads must be initiated by the Quorvane browser interface\r\n by first logging into a "
    "Quorvane account.";

// What the launch shows and runs, supplied by the front-end.
class LaunchHost {
  public:
    virtual ~LaunchHost() = default;
    // A message box without an owner window: caption "Trevasto", OK, no icon.
    virtual void ShowMessage(const std::string& text) = 0;
    // Runs the transfer dialog modally, with the key when there is one.
    virtual void RunDialog(const std::optional<std::string>& key) = 0;
};

enum class LaunchResult {
    DialogRan,       // the dialog ran (with a key, or looking for one itself)
    UnusableKeyFile  // the key file was unusable; the dialog never ran
};

class TransferApp {
  public:
    static LaunchResult Launch(std::string_view commandLine, LaunchHost& host);
};

}  // namespace app
