#pragma once
// Deployment settings: the service host (or an explicit server list) and the
// key table shared with the service. They come from a small `key = value`
// file named by TREVASTO_DEPLOYMENT or installed with the program:
//
//   # comment
//   service_host = example.net            # required unless servers is given
//   servers = b2.example.net:80 10.0.0.5:8080   # optional, first = tried first
//   key_table = keytable.bin              # 512 bytes; relative to this file
//   timeouts = 30 180 720                 # optional: receive time-outs short,
//                                         #   normal, long; seconds, or "250ms"
//   connect_pause = 5                     # optional: between connection attempts
//   retry_pauses = 1 60                   # optional: before the first retry of a
//                                         #   failed run, and the longest (each
//                                         #   attempt waits twice the one before)
//   code_page = WINDOWS-1252              # optional: the code page of the
//                                         #   service's names (as iconv names it)
//
// Messages name the file and line but never show key table bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "net/server_connection.h"
#include "platform/error.h"
#include "platform/user_folders.h"

namespace deployment {

inline constexpr std::size_t kKeyTableSize = 512;
inline constexpr const char* kDeploymentVariable = "TREVASTO_DEPLOYMENT";
// The service writes its texts in the ANSI code page of its Windows
// servers, which is this one unless a deployment says otherwise.
inline constexpr std::string_view kDefaultCodePage = "WINDOWS-1252";

struct ServerAddress {
    std::string host;
    std::string portText;

    bool operator==(const ServerAddress&) const = default;
};

struct Deployment {
    std::string serviceHost;             // empty when only servers is given
    std::vector<ServerAddress> servers;  // as listed; empty when not given
    std::array<std::uint8_t, kKeyTableSize> keyTable{};
    net::Timeouts timeouts;  // the defaults unless set
    std::chrono::milliseconds firstRetryPause{1000};
    std::chrono::milliseconds longestRetryPause{60000};
    // The service's names are in this code page; one the system converts
    // to UTF-8.
    std::string codePage{kDefaultCodePage};
    std::string sourcePath;  // the file the settings came from
};

// A value or a message that says what is wrong and where.
template <typename T>
class OrMessage {
  public:
    OrMessage(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
    static OrMessage Failure(std::string message) { return OrMessage(Tag{}, std::move(message)); }

    bool ok() const { return state_.index() == 0; }
    const T& value() const { return std::get<0>(state_); }
    const std::string& message() const { return std::get<1>(state_); }

  private:
    struct Tag {};
    OrMessage(Tag, std::string message) : state_(std::move(message)) {}
    std::variant<T, std::string> state_;
};

using DeploymentResult = OrMessage<Deployment>;

// Reads a key table file: its bytes (at most one more than a table holds,
// enough to tell that a file is too long) or the system error.
using KeyTableReader = std::function<platform::Result<std::string>(const std::string& path)>;
KeyTableReader FileKeyTableReader();

// The places an installed deployment file is looked for, in order: beside
// the program (<dir>/../etc/trevasto/deployment.conf), then in the
// system's settings folder when the system has one only administrators can
// write (platform::SystemConfigFolder).
std::vector<std::string> InstalledDeploymentPaths(
    std::string_view executablePath,
    const std::optional<std::string>& systemFolder = platform::SystemConfigFolder());

// The deployment file to use: the variable's value when set (not empty),
// otherwise the first installed place that exists; nullopt when none does.
std::optional<std::string> FindDeploymentFile(
    const char* variableValue, std::string_view executablePath,
    const std::function<bool(const std::string&)>& exists);

// Parses the text of the deployment file found at `filePath`; a relative
// key_table path is taken from that file's folder.
DeploymentResult ParseDeployment(std::string_view text, const std::string& filePath,
                                 const KeyTableReader& readKeyTable);

// Reads and parses one deployment file.
DeploymentResult LoadDeployment(const std::string& path);

// Finds the deployment file from the environment and the program's place,
// then loads it.
DeploymentResult LoadInstalledDeployment();

// The server list as the engine builds it, head first: the servers given,
// in their order, or else "b2.<host>" then "b1.<host>", port "80" (entries
// 1 and 2 formed from the service host, each put at the head). To build
// it with ServerLink::AddServer, add them from the last to the first.
std::vector<ServerAddress> ServerListFor(const Deployment& deployment);

}  // namespace deployment
