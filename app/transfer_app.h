#pragma once
// Launch: the key-file path from the command line, the key from the file
// (which is then deleted), then the transfer dialog.

#include <optional>
#include <string>
#include <string_view>

namespace app {

// The first argument of a raw command line, or nothing. Only the blank
// separates; a quoted program name is skipped together with the one
// character after its closing quote.
std::optional<std::string> FirstArgument(std::string_view commandLine);

// The key file's path: the first argument of the unsplit command line
// where the system passes one (platform::UnsplitCommandLine), else argv[1]
// exactly as given. Nothing when there is no argument or it is empty.
std::optional<std::string> KeyFileArgument(const std::optional<std::string>& unsplitCommandLine,
                                           int argc, const char* const* argv);

// The key of a key file: the text after "download=" (any letter case) in
// the first 255 bytes, verbatim up to the first NUL; nothing when the file
// is unusable (missing, not a regular file, or not beginning with
// "download=").
std::optional<std::string> ReadKeyFile(const std::string& path);
// The same rules on the file's first bytes (those beyond the limit are
// never read).
std::optional<std::string> KeyFromFileStart(std::string_view bytes);
inline constexpr std::size_t kKeyFileReadLimit = 255;

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

// What the launch starts from: the key file of the command line, already
// taken.
struct LaunchKey {
    enum class Source {
        NoArgument,   // no key file was named
        KeyFile,      // a key file, read and deleted
        UnusableFile  // the named file was no key file; it was left alone
    };
    Source source = Source::NoArgument;
    std::string key;  // for KeyFile

    bool operator==(const LaunchKey&) const = default;
};

// Reads the key file at `path` and deletes it: the key is a credential for
// one launch. Only a key file is deleted; whatever else the argument names
// (a document opened with the program by mistake) is left alone.
LaunchKey TakeKeyFile(const std::optional<std::string>& path);

enum class LaunchResult {
    DialogRan,       // the dialog ran (with a key, or looking for one itself)
    UnusableKeyFile  // the key file was unusable; the dialog never ran
};

class TransferApp {
  public:
    static LaunchResult Launch(const LaunchKey& launchKey, LaunchHost& host);
};

}  // namespace app
