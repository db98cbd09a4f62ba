// The deployment file: `key = value` lines naming the service host or the
// servers and the key table.
//
// The input is the file's text, read as if found at an absolute place and
// at a bare name. The key table reader is a stand-in: names holding
// "missing", "denied", "short" or "long" give a missing file, a refused
// one, or a table one byte short or long; any other name gives 512 bytes.
// Checked for every accepted file: the reader ran once, on the name joined
// as documented, and the table is its bytes; the hosts and ports are ones
// a connection can take; the server list built from them is usable. A
// refused file names the file in its message.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "deployment/deployment.h"
#include "fuzz_support.h"
#include "net/server_connection.h"
#include "platform/strings.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string TableBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(i ^ 0x5A);
    }
    return bytes;
}

platform::Result<std::string> StandInTable(const std::string& path) {
    if (path.find("missing") != std::string::npos) {
        return platform::SysError{ENOENT};
    }
    if (path.find("denied") != std::string::npos) {
        return platform::SysError{EACCES};
    }
    if (path.find("short") != std::string::npos) {
        return TableBytes(deployment::kKeyTableSize - 1);
    }
    if (path.find("long") != std::string::npos) {
        return TableBytes(deployment::kKeyTableSize + 1);
    }
    return TableBytes(deployment::kKeyTableSize);
}

bool IsUsablePort(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long long value = platform::ParseDecimal(text);
    return value >= 1 && value <= 65535;
}

bool IsOneWord(const std::string& text) {
    return !text.empty() && text.find_first_of(kBlanks) == std::string::npos &&
           text.find_first_of("#\n") == std::string::npos;
}

void CheckAt(std::string_view text, const std::string& filePath, std::string_view folder) {
    std::vector<std::string> asked;
    const deployment::KeyTableReader reader = [&asked](const std::string& path) {
        asked.push_back(path);
        return StandInTable(path);
    };
    const deployment::DeploymentResult result = deployment::ParseDeployment(text, filePath, reader);
    if (!result.ok()) {
        FUZZ_CHECK(result.message().compare(0, filePath.size(), filePath) == 0);
        FUZZ_CHECK(asked.size() <= 1);
        return;
    }
    FUZZ_CHECK(asked.size() == 1);
    const std::string& tablePath = asked[0];
    FUZZ_CHECK(!tablePath.empty());
    FUZZ_CHECK(kBlanks.find(tablePath.back()) == std::string_view::npos);
    if (!folder.empty()) {
        FUZZ_CHECK(tablePath.front() == '/');
    }
    FUZZ_CHECK(tablePath.find('#') == std::string::npos);
    const deployment::Deployment& parsed = result.value();
    const std::string expected = TableBytes(deployment::kKeyTableSize);
    FUZZ_CHECK(
        std::equal(parsed.keyTable.begin(), parsed.keyTable.end(), expected.begin(), expected.end(),
                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    FUZZ_CHECK(parsed.sourcePath == filePath);
    FUZZ_CHECK(!parsed.serviceHost.empty() || !parsed.servers.empty());
    if (!parsed.serviceHost.empty()) {
        FUZZ_CHECK(IsOneWord(parsed.serviceHost));
    }
    for (const deployment::ServerAddress& server : parsed.servers) {
        FUZZ_CHECK(!server.host.empty());
        FUZZ_CHECK(server.host.find_first_of(kBlanks) == std::string::npos);
        FUZZ_CHECK(IsUsablePort(server.portText));
    }
    const std::vector<deployment::ServerAddress> list = deployment::ServerListFor(parsed);
    FUZZ_CHECK(!list.empty());
    for (const deployment::ServerAddress& server : list) {
        // A connection would cut a longer name and reach another host.
        FUZZ_CHECK(server.host.size() <= net::ServerConnection::kMaxHostLength);
        FUZZ_CHECK(IsOneWord(server.host));
        FUZZ_CHECK(IsUsablePort(server.portText));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::AsText({data, size});
    CheckAt(text, "/etc/trevasto/deployment.conf", "/etc/trevasto");
    CheckAt(text, "deployment.conf", "");
    return 0;
}
