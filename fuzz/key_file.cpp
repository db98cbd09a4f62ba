// The key file: the launch reads "download=KEY" from the file its command
// line names, deletes the file, and the key goes into the credentials
// header of every request.
//
// The input is the file's content, read as bytes (one input in sixteen
// also as a file on disk). Checked: the launch hands the dialog the key
// the bytes give; the file on disk gives the same key and is deleted
// exactly when it is a key file, any other file left as it was; a key holds no NUL and no more than
// the file's first 255 bytes allow; its credentials
// header is one line that the service's own token reader turns back into
// the key, or is refused exactly when the key is longer than the token
// holds.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/transfer_app.h"
#include "fuzz_support.h"
#include "net/request_builder.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/strings.h"
#include "support/fake_clock.h"
#include "tools/service/request.h"

namespace {

constexpr std::string_view kPrefix = "download=";
constexpr std::string_view kHeader = "X-QVN-RATTART3: ";

class RecordingHost final : public app::LaunchHost {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void RunDialog(const std::optional<std::string>& key) override {
        ++dialogs;
        dialogKey = key;
    }

    std::vector<std::string> messages;
    int dialogs = 0;
    std::optional<std::string> dialogKey;
};

void CheckCredentials(const std::string& key) {
    testing_support::FakeClock clock;
    net::Credentials credentials;
    credentials.downloadKey = key;
    const std::optional<std::string> lines =
        net::AddCredentialHeaders(fuzz::FuzzKeyTable(), credentials, clock);
    FUZZ_CHECK(lines.has_value() == (key.size() <= net::kMaxDownloadKeyLength));
    if (!lines) {
        return;
    }
    // One header line whatever the key holds: nothing of it reaches the
    // request as text.
    FUZZ_CHECK(lines->compare(0, kHeader.size(), kHeader) == 0);
    FUZZ_CHECK(lines->size() >= kHeader.size() + 2);
    FUZZ_CHECK(lines->find_first_of("\r\n") == lines->size() - 2);
    FUZZ_CHECK(lines->compare(lines->size() - 2, 2, "\r\n") == 0);
    const std::string_view token =
        std::string_view(*lines).substr(kHeader.size(), lines->size() - kHeader.size() - 2);
    const std::optional<std::string> read = qvn_service::KeyFromToken(fuzz::FuzzKeyTable(), token);
    if (key.empty()) {
        FUZZ_CHECK(!read.has_value());  // a comma alone carries no key
    } else {
        FUZZ_CHECK(read.has_value());
        FUZZ_CHECK(*read == key);
    }
}

// The file on disk, for one input in sixteen: taking it reads the same key
// as the bytes give, and deletes exactly a key file.
void CheckTakenFromDisk(const std::string& content, const std::optional<std::string>& key) {
    const std::string path = platform::JoinName(fuzz::ScratchFolder(), "key file.qvn");
    FUZZ_CHECK(platform::WriteWholeFile(path, content).ok());
    const app::LaunchKey taken = app::TakeKeyFile(path);
    if (key) {
        FUZZ_CHECK(!platform::Exists(path));
        FUZZ_CHECK(taken.source == app::LaunchKey::Source::KeyFile && taken.key == *key);
    } else {
        const auto left = platform::ReadFileStart(path, content.size() + 1);
        FUZZ_CHECK(left.ok() && *left == content);
        FUZZ_CHECK(taken.source == app::LaunchKey::Source::UnusableFile);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string content(fuzz::AsText({data, size}));
    const std::optional<std::string> key = app::KeyFromFileStart(content);
    if (key) {
        FUZZ_CHECK(platform::StartsWithNoCase(content, kPrefix));
        FUZZ_CHECK(key->find('\0') == std::string::npos);
        FUZZ_CHECK(key->size() <= app::kKeyFileReadLimit - kPrefix.size());
        CheckCredentials(*key);
    }
    if (size % 16 == 0) {
        CheckTakenFromDisk(content, key);
    }

    const app::LaunchKey launchKey = key ? app::LaunchKey{app::LaunchKey::Source::KeyFile, *key}
                                         : app::LaunchKey{app::LaunchKey::Source::UnusableFile, {}};
    RecordingHost host;
    const app::LaunchResult result = app::TransferApp::Launch(launchKey, host);
    if (key) {
        FUZZ_CHECK(result == app::LaunchResult::DialogRan);
        FUZZ_CHECK(host.messages.empty());
        FUZZ_CHECK(host.dialogs == 1);
        FUZZ_CHECK(host.dialogKey == key);
    } else {
        FUZZ_CHECK(result == app::LaunchResult::UnusableKeyFile);
        FUZZ_CHECK(host.messages.size() == 1);
        FUZZ_CHECK(host.messages[0] == app::kNoLongerValidText);
        FUZZ_CHECK(host.dialogs == 0);
    }
    return 0;
}
