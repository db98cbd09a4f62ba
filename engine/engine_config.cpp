#include "engine/engine_config.h"

#include "platform/user_folders.h"

namespace engine {

EngineConfig EngineConfigFor(const deployment::Deployment& deployment) {
    EngineConfig config(deployment::ServerListFor(deployment), net::KeyTable(deployment.keyTable));
    config.timeouts = deployment.timeouts;
    config.codePage = deployment.codePage;
    config.workFolder = platform::UserCacheFolder();
    return config;
}

}  // namespace engine
