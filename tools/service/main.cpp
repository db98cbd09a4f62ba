// trevasto-service --root DIR --port N [--port M ...] [--deployment FILE]
//                  [--request-log FILE] [--receive-timeout SECONDS] [--cache DIR]
//
// Serves the key folders below DIR on 127.0.0.1 until SIGINT or SIGTERM.
// The key table comes from the deployment file (--deployment, or else the
// file that TREVASTO_DEPLOYMENT names). One line "listening 127.0.0.1:PORT"
// per port goes to stdout once the ports are open, so that scripts started
// with port 0 can read the ports the system chose.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deployment/deployment.h"
#include "platform/stop_signal.h"
#include "tools/service/qvn_service.h"

namespace {

constexpr const char* kUsage =
    "usage: trevasto-service --root DIR --port N [--port M ...] [--deployment FILE]\n"
    "                        [--request-log FILE] [--receive-timeout SECONDS] [--cache DIR]\n";

struct Arguments {
    std::string root;
    std::vector<std::uint16_t> ports;
    std::string deployment;
    std::string requestLog;
    std::string cache;
    std::optional<long> receiveTimeoutSeconds;
};

std::optional<long> ParseNumber(std::string_view text, long low, long high) {
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// Nothing (after a message on stderr) when the command line is wrong.
std::optional<Arguments> ParseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "trevasto-service: %s needs a value\n%s", argv[i], kUsage);
            return std::nullopt;
        }
        const std::string_view value = argv[++i];
        if (option == "--root") {
            arguments.root = std::string(value);
        } else if (option == "--port") {
            const auto port = ParseNumber(value, 0, 65535);
            if (!port) {
                std::fprintf(stderr, "trevasto-service: bad port \"%s\"\n", argv[i]);
                return std::nullopt;
            }
            arguments.ports.push_back(static_cast<std::uint16_t>(*port));
        } else if (option == "--deployment") {
            arguments.deployment = std::string(value);
        } else if (option == "--request-log") {
            arguments.requestLog = std::string(value);
        } else if (option == "--cache") {
            arguments.cache = std::string(value);
        } else if (option == "--receive-timeout") {
            arguments.receiveTimeoutSeconds = ParseNumber(value, 1, 86400);
            if (!arguments.receiveTimeoutSeconds) {
                std::fprintf(stderr, "trevasto-service: bad time-out \"%s\"\n", argv[i]);
                return std::nullopt;
            }
        } else {
            std::fprintf(stderr, "trevasto-service: unknown option \"%s\"\n%s", argv[i - 1],
                         kUsage);
            return std::nullopt;
        }
    }
    if (arguments.root.empty() || arguments.ports.empty()) {
        std::fprintf(stderr, "trevasto-service: --root and --port are required\n%s", kUsage);
        return std::nullopt;
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that only the wait below takes them.
    platform::BlockStopSignals();

    const auto arguments = ParseArguments(argc, argv);
    if (!arguments) {
        return 2;
    }
    std::string deploymentPath = arguments->deployment;
    if (deploymentPath.empty()) {
        const char* variable = std::getenv(deployment::kDeploymentVariable);
        deploymentPath = variable != nullptr ? variable : "";
    }
    if (deploymentPath.empty()) {
        std::fprintf(stderr, "trevasto-service: no deployment file: give --deployment or set %s\n",
                     deployment::kDeploymentVariable);
        return 2;
    }
    const deployment::DeploymentResult settings = deployment::LoadDeployment(deploymentPath);
    if (!settings.ok()) {
        std::fprintf(stderr, "trevasto-service: %s\n", settings.message().c_str());
        return 2;
    }

    qvn_service::ServiceOptions options{net::KeyTable(settings.value().keyTable)};
    options.root = arguments->root;
    options.ports = arguments->ports;
    options.requestLogPath = arguments->requestLog;
    options.cacheFolder = arguments->cache;
    if (arguments->receiveTimeoutSeconds) {
        options.receiveTimeout = std::chrono::seconds(*arguments->receiveTimeoutSeconds);
    }
    options.diagnostics = [](std::string_view message) {
        std::fprintf(stderr, "trevasto-service: %.*s\n", static_cast<int>(message.size()),
                     message.data());
    };
    qvn_service::ServiceStart start = qvn_service::QvnService::Start(std::move(options));
    if (!start.ok()) {
        std::fprintf(stderr, "trevasto-service: %s\n", start.error.c_str());
        return 1;
    }
    for (const std::uint16_t port : start.service->Ports()) {
        std::printf("listening 127.0.0.1:%u\n", static_cast<unsigned>(port));
    }
    std::fflush(stdout);

    platform::WaitForStopSignal();
    start.service->Stop();
    return 0;
}
