#pragma once
// What the engine is given once, before any operation: the service's
// servers and key table, its waits, and the program's own work folder.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "deployment/deployment.h"
#include "net/host_resolver.h"
#include "net/key_table.h"
#include "net/server_connection.h"
#include "net/server_list.h"

namespace engine {

struct EngineConfig {
    EngineConfig(std::vector<deployment::ServerAddress> serversIn, net::KeyTable keyTableIn)
        : servers(std::move(serversIn)), keyTable(keyTableIn) {}

    // The service's servers, the head (used first) first.
    std::vector<deployment::ServerAddress> servers;
    net::KeyTable keyTable;
    net::Timeouts timeouts;
    net::HostResolver* resolver = nullptr;      // the system's when none
    net::StreamConnector* connector = nullptr;  // sockets when none
    net::SocketStarter startSockets = &platform::StartupSockets;
    // Bodies of lists and verdicts beyond this are refused as bad input.
    std::int64_t maxReplyBody = 16 * 1024 * 1024;
    // The program's own work folder; none: no work files.
    std::optional<std::string> workFolder;
    // The code page of the service's names (its texts).
    std::string codePage{deployment::kDefaultCodePage};
};

// The settings every program that downloads runs the engine with: the
// deployment's servers, key table, time-outs, connect pause and code page,
// and the work folder in the user's cache (made when missing). One
// function, so that a tool cannot quietly run with waits (or names) the
// deployment did not ask for.
EngineConfig EngineConfigFor(const deployment::Deployment& deployment);

}  // namespace engine
