#include "deployment/deployment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/user_folders.h"
#include "support/temp_dir.h"

namespace {

using deployment::Deployment;
using deployment::DeploymentResult;
using deployment::ServerAddress;

// 512 distinct-looking bytes, so a test can tell whether any reached a message.
std::string KeyTableBytes(std::size_t size = deployment::kKeyTableSize) {
    std::string bytes;
    while (bytes.size() < size) {
        bytes += "SECRET";
        bytes += static_cast<char>(bytes.size() % 251);
    }
    bytes.resize(size);
    return bytes;
}

// Key table files held in memory, by path.
struct FakeKeyFiles {
    std::map<std::string, std::string> files;
    std::vector<std::string> asked;

    deployment::KeyTableReader Reader() {
        return [this](const std::string& path) -> platform::Result<std::string> {
            asked.push_back(path);
            auto found = files.find(path);
            if (found == files.end()) {
                return platform::SysError{ENOENT};
            }
            // Like the real reader: never more than one byte beyond a table.
            return found->second.substr(0, deployment::kKeyTableSize + 1);
        };
    }
};

constexpr const char* kConfPath = "/opt/trevasto/etc/deployment.conf";

// A key table named relative to the deployment file, as the reader joins it.
std::string BesideConf(std::string_view relative) {
    return platform::JoinName("/opt/trevasto/etc", relative);
}

DeploymentResult Parse(const std::string& text, FakeKeyFiles& keys) {
    return deployment::ParseDeployment(text, kConfPath, keys.Reader());
}

TEST(DeploymentParseTest, ReadsHostAndKeyTableAmongCommentsBlanksAndLineEnds) {
    FakeKeyFiles keys;
    const std::string table = KeyTableBytes();
    keys.files[BesideConf("keys/table.bin")] = table;
    const std::string text =
        "\xEF\xBB\xBF# Trevasto deployment\r\n"
        "\r\n"
        "   service_host\t=  quorvane.example.net   # production\r\n"
        "\n"
        "key_table=keys/table.bin\n"
        "  # trailing comment without a line end";
    const DeploymentResult result = Parse(text, keys);
    ASSERT_TRUE(result.ok()) << result.message();
    const Deployment& d = result.value();
    EXPECT_EQ(d.serviceHost, "quorvane.example.net");
    EXPECT_TRUE(d.servers.empty());
    EXPECT_EQ(std::string(d.keyTable.begin(), d.keyTable.end()), table);
    EXPECT_EQ(d.sourcePath, kConfPath);
    EXPECT_EQ(keys.asked, std::vector<std::string>{BesideConf("keys/table.bin")});

    // Entries 1 and 2 formed from the host, each put at the head.
    EXPECT_EQ(deployment::ServerListFor(d),
              (std::vector<ServerAddress>{{"b2.quorvane.example.net", "80"},
                                          {"b1.quorvane.example.net", "80"}}));
}

TEST(DeploymentParseTest, ServersReplaceTheFormedEntriesInTheirOrder) {
    FakeKeyFiles keys;
    keys.files["/srv/keys/table.bin"] = KeyTableBytes();
    const DeploymentResult result = Parse(
        "servers = 127.0.0.1:8080   east.example.net:80\tb9.example.net:65535\n"
        "key_table = /srv/keys/table.bin\n",
        keys);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result.value().serviceHost, "");
    const std::vector<ServerAddress> expected{
        {"127.0.0.1", "8080"}, {"east.example.net", "80"}, {"b9.example.net", "65535"}};
    EXPECT_EQ(result.value().servers, expected);
    EXPECT_EQ(deployment::ServerListFor(result.value()), expected);

    // With both given, the servers decide the list.
    const DeploymentResult both = Parse(
        "service_host = example.net\nservers = only.example.net:81\n"
        "key_table = /srv/keys/table.bin\n",
        keys);
    ASSERT_TRUE(both.ok()) << both.message();
    EXPECT_EQ(deployment::ServerListFor(both.value()),
              (std::vector<ServerAddress>{{"only.example.net", "81"}}));
}

TEST(DeploymentParseTest, WaitsAndCodePageKeepTheirDefaultsUnlessSet) {
    using std::chrono::milliseconds;
    FakeKeyFiles keys;
    keys.files["/k.bin"] = KeyTableBytes();
    const DeploymentResult plain = Parse("service_host = a.net\nkey_table = /k.bin\n", keys);
    ASSERT_TRUE(plain.ok()) << plain.message();
    EXPECT_EQ(plain.value().timeouts.shortTimeout, milliseconds(30'000));
    EXPECT_EQ(plain.value().timeouts.normalTimeout, milliseconds(180'000));
    EXPECT_EQ(plain.value().timeouts.longTimeout, milliseconds(720'000));
    EXPECT_EQ(plain.value().timeouts.connectPause, milliseconds(5'000));
    EXPECT_EQ(plain.value().firstRetryPause, milliseconds(1'000));
    EXPECT_EQ(plain.value().longestRetryPause, milliseconds(60'000));
    EXPECT_EQ(plain.value().codePage, "WINDOWS-1252");

    const DeploymentResult set = Parse(
        "service_host = a.net\nkey_table = /k.bin\n"
        "timeouts = 250ms\t2s   86400\nconnect_pause = 0ms\nretry_pauses = 10ms 2\n"
        "code_page = ISO-8859-15\n",
        keys);
    ASSERT_TRUE(set.ok()) << set.message();
    EXPECT_EQ(set.value().timeouts.shortTimeout, milliseconds(250));
    EXPECT_EQ(set.value().timeouts.normalTimeout, milliseconds(2'000));
    EXPECT_EQ(set.value().timeouts.longTimeout, milliseconds(86'400'000));
    EXPECT_EQ(set.value().timeouts.connectPause, milliseconds(0));
    EXPECT_EQ(set.value().firstRetryPause, milliseconds(10));
    EXPECT_EQ(set.value().longestRetryPause, milliseconds(2'000));
    EXPECT_EQ(set.value().codePage, "ISO-8859-15");
}

TEST(DeploymentParseTest, BadFilesAreRefusedNamingFileAndLine) {
    const std::string conf = kConfPath;
    const std::string key = "key_table = /k.bin\n";
    const struct {
        std::string text;
        std::string message;
    } rows[] = {
        {"service_host example.net\n" + key,
         conf + ":1: expected 'key = value', found 'service_host example.net'"},
        {"# hosts\n = example.net\n" + key, conf + ":2: a setting name is missing before '='"},
        {"service_host = a.net\nproxy = p:80\n" + key,
         conf + ":2: unknown setting 'proxy' (known: service_host, servers, key_table, "
                "timeouts, connect_pause, retry_pauses, code_page)"},
        {"service_host = a.net\ncode_page = WINDOWS-9999\n" + key,
         conf + ":2: code_page 'WINDOWS-9999' is not a code page this system converts (see "
                "iconv --list)"},
        {"service_host = a.net\ncode_page =\n" + key, conf + ":2: code_page names no code page"},
        {"service_host = a.net\ncode_page = ISO 8859-15\n" + key,
         conf + ":2: code_page 'ISO 8859-15' is not one name"},
        {"service_host = a.net\nretry_pauses = 5 1\n" + key,
         conf + ":2: retry_pauses '5 1' is not two durations (first, longest; 1ms to a day, the "
                "longest not below the first)"},
        {"service_host = a.net\nretry_pauses = 0 1\n" + key,
         conf + ":2: retry_pauses '0 1' is not two durations (first, longest; 1ms to a day, the "
                "longest not below the first)"},
        {"service_host = a.net\ntimeouts = 30 180\n" + key,
         conf + ":2: timeouts '30 180' is not three durations (short, normal, long)"},
        {"service_host = a.net\ntimeouts = 30 0 720\n" + key,
         conf + ":2: time-out '0' is not a duration from 1ms to a day"},
        {"service_host = a.net\ntimeouts = 30 180 86401\n" + key,
         conf + ":2: time-out '86401' is not a duration from 1ms to a day"},
        {"service_host = a.net\ntimeouts = 30 180m 720\n" + key,
         conf + ":2: time-out '180m' is not a duration from 1ms to a day"},
        {"service_host = a.net\ntimeouts = 30 -1 720\n" + key,
         conf + ":2: time-out '-1' is not a duration from 1ms to a day"},
        {"service_host = a.net\nconnect_pause = ms\n" + key,
         conf + ":2: connect_pause 'ms' is not a duration from 0 to a day"},
        {"service_host = a.net\nconnect_pause = 1 s\n" + key,
         conf + ":2: connect_pause '1 s' is not a duration from 0 to a day"},
        {"service_host = a.net\n" + key + "\nservice_host = b.net\n",
         conf + ":4: service_host is set again (first set on line 1)"},
        {key + key + "service_host = a.net\n",
         conf + ":2: key_table is set again (first set on line 1)"},
        {"service_host =   # to be filled in\n" + key, conf + ":1: service_host is empty"},
        {"service_host = a b\n" + key, conf + ":1: service_host 'a b' is not one host name"},
        {"service_host = " + std::string(125, 'h') + "\n" + key,
         conf + ":1: service_host is longer than 124 characters"},
        {"servers =\n" + key, conf + ":1: servers lists no server"},
        {"servers = a.net:80 b.net\n" + key, conf + ":1: server 'b.net' is not HOST:PORT"},
        {"servers = :80\n" + key, conf + ":1: server ':80' has an empty host"},
        {"servers = a.net:0\n" + key,
         conf + ":1: server 'a.net:0' has a bad port '0' (expected 1 to 65535)"},
        {"servers = a.net:65536\n" + key,
         conf + ":1: server 'a.net:65536' has a bad port '65536' (expected 1 to 65535)"},
        {"servers = a.net:8o\n" + key,
         conf + ":1: server 'a.net:8o' has a bad port '8o' (expected 1 to 65535)"},
        {"servers = a.net:\n" + key,
         conf + ":1: server 'a.net:' has a bad port '' (expected 1 to 65535)"},
        {"servers = a.net:-80\n" + key,
         conf + ":1: server 'a.net:-80' has a bad port '-80' (expected 1 to 65535)"},
        {"service_host = a.net\nkey_table =\n", conf + ":2: key_table names no file"},
        {"service_host = a.net\n", conf + ": key_table is not set"},
        {"# nothing but the table\n" + key, conf + ": service_host is not set (nor servers)"},
        {"", conf + ": key_table is not set"},
    };
    for (const auto& row : rows) {
        FakeKeyFiles keys;
        keys.files["/k.bin"] = KeyTableBytes();
        const DeploymentResult result = Parse(row.text, keys);
        ASSERT_FALSE(result.ok()) << row.text;
        EXPECT_EQ(result.message(), row.message) << row.text;
    }
}

TEST(DeploymentParseTest, KeyTableProblemsNameTheTableButNeverItsBytes) {
    const std::string conf = kConfPath;
    const struct {
        std::string tableBytes;  // empty: no such file
        std::string message;
    } rows[] = {
        {"", conf + ":2: key table " + BesideConf("table.bin") + " not found"},
        {KeyTableBytes(511),
         conf + ":2: key table " + BesideConf("table.bin") + " holds 511 bytes, not 512"},
        {KeyTableBytes(513),
         conf + ":2: key table " + BesideConf("table.bin") + " holds more than 512 bytes, not 512"},
        {KeyTableBytes(4096),
         conf + ":2: key table " + BesideConf("table.bin") + " holds more than 512 bytes, not 512"},
    };
    for (const auto& row : rows) {
        FakeKeyFiles keys;
        if (!row.tableBytes.empty()) {
            keys.files[BesideConf("table.bin")] = row.tableBytes;
        }
        const DeploymentResult result =
            Parse("service_host = a.net\nkey_table = table.bin\n", keys);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.message(), row.message);
        EXPECT_EQ(result.message().find("SECRET"), std::string::npos);
    }
}

TEST(DeploymentLoadTest, LoadsAFileWithItsKeyTableBesideIt) {
    testing_support::TempDir dir;
    const std::string table = KeyTableBytes();
    dir.Write("conf/keys/table.bin", table);
    dir.Write("conf/deployment.conf", "service_host = example.net\nkey_table = keys/table.bin\n");
    const DeploymentResult result = deployment::LoadDeployment(dir.Sub("conf/deployment.conf"));
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(result.value().serviceHost, "example.net");
    EXPECT_EQ(std::string(result.value().keyTable.begin(), result.value().keyTable.end()), table);
    EXPECT_EQ(result.value().sourcePath, dir.Sub("conf/deployment.conf"));
}

TEST(DeploymentLoadTest, RefusesMissingUnreadableAndWrongSizedFiles) {
    testing_support::TempDir dir;
    const std::string missing = dir.Sub("missing.conf");
    DeploymentResult result = deployment::LoadDeployment(missing);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), missing + ": deployment file not found");

    dir.Write("folder.conf/placeholder", "");
    result = deployment::LoadDeployment(dir.Sub("folder.conf"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(
        result.message().rfind(dir.Sub("folder.conf") + ": cannot read the deployment file: ", 0),
        0u)
        << result.message();

    dir.Write("short/table.bin", KeyTableBytes(500));
    dir.Write("short/deployment.conf", "service_host = example.net\nkey_table = table.bin\n");
    result = deployment::LoadDeployment(dir.Sub("short/deployment.conf"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), dir.Sub("short/deployment.conf") + ":2: key table " +
                                    dir.Sub("short/table.bin") + " holds 500 bytes, not 512");

    dir.Write("long/table.bin", KeyTableBytes(600));
    dir.Write("long/deployment.conf", "service_host = example.net\nkey_table = table.bin\n");
    result = deployment::LoadDeployment(dir.Sub("long/deployment.conf"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), dir.Sub("long/deployment.conf") + ":2: key table " +
                                    dir.Sub("long/table.bin") +
                                    " holds more than 512 bytes, not 512");
}

TEST(DeploymentFindTest, VariableFirstThenBesideTheProgramThenSystemWide) {
    const std::string besideProgram =
        platform::JoinName("/opt/trevasto/bin", "../etc/trevasto/deployment.conf");
    const std::string systemWide = platform::JoinName("/etc/trevasto", "deployment.conf");
    EXPECT_EQ(deployment::InstalledDeploymentPaths("/opt/trevasto/bin/trevasto", "/etc/trevasto"),
              (std::vector<std::string>{besideProgram, systemWide}));
    // Where the system has no folder only administrators can write.
    EXPECT_EQ(deployment::InstalledDeploymentPaths("/opt/trevasto/bin/trevasto", std::nullopt),
              std::vector<std::string>{besideProgram});
    // This system's: /etc/trevasto on Linux, none on Windows.
    const bool systemFolder = platform::SystemConfigFolder().has_value();
    EXPECT_EQ(systemFolder, platform::SystemNameRules() == platform::NameRules::Posix);

    std::vector<std::string> present;
    std::vector<std::string> asked;
    const auto exists = [&](const std::string& path) {
        asked.push_back(path);
        return std::find(present.begin(), present.end(), path) != present.end();
    };
    const std::string program = "/opt/trevasto/bin/trevasto";

    // A set variable wins even over installed files, and is not checked here:
    // loading it reports a missing file with its name.
    present = {besideProgram, systemWide};
    EXPECT_EQ(deployment::FindDeploymentFile("/home/u/my.conf", program, exists),
              "/home/u/my.conf");
    EXPECT_TRUE(asked.empty());

    // An empty variable counts as unset.
    EXPECT_EQ(deployment::FindDeploymentFile("", program, exists), besideProgram);
    EXPECT_EQ(deployment::FindDeploymentFile(nullptr, program, exists), besideProgram);

    // The system-wide file only where the system has such a folder.
    present = {systemWide};
    asked.clear();
    EXPECT_EQ(deployment::FindDeploymentFile(nullptr, program, exists),
              systemFolder ? std::optional(systemWide) : std::nullopt);
    EXPECT_EQ(asked, systemFolder ? (std::vector<std::string>{besideProgram, systemWide})
                                  : std::vector<std::string>{besideProgram});

    present.clear();
    EXPECT_EQ(deployment::FindDeploymentFile(nullptr, program, exists), std::nullopt);
}

}  // namespace
