#include "engine/transfer_engine.h"

#include "engine/key_operations.h"
#include "platform/file.h"
#include "platform/path.h"

namespace engine {

TransferEngine::TransferEngine(control::ControlBlock& block, EngineConfig config)
    : context_(block, std::move(config)) {}

bool TransferEngine::PrepareServers() {
    if (context_.link.commInitFailed()) {
        return false;
    }
    // Each new entry goes to the head: adding from the last to the first
    // leaves the first listed at the head, where selection starts.
    const std::vector<deployment::ServerAddress>& servers = context_.config.servers;
    for (auto it = servers.rbegin(); it != servers.rend(); ++it) {
        context_.link.AddServer(it->host, it->portText);
    }
    return true;
}

bool TransferEngine::Disconnect() {
    return context_.link.Disconnect();
}

bool TransferEngine::Reset() {
    control::ControlBlock& block = context_.block;
    EngineState& state = context_.state;
    block.command.store(0);
    block.verification.store(false);
    block.useQvnDate.store(false);
    block.transferCompress.store(false);
    state.currentFileId.clear();
    context_.SetConclusion("");
    block.localDirectory.reset();
    block.downloadKey.reset();
    state.keyFileList.clear();
    context_.Publish([&](control::LiveProgress& progress, std::string& currentPath) {
        currentPath.clear();
        progress = control::LiveProgress{};
        block.failureCause = {};
        block.existingFiles.clear();
    });
    // Work files of earlier operations. Only the program's own folder holds
    // them: anywhere else (the current folder is often the user's home) a
    // file of these names is the user's.
    if (context_.config.workFolder) {
        for (const char* name : {"diff.crc", "temp.crc", "temp.crc~"}) {
            (void)platform::DeleteFile(platform::JoinName(*context_.config.workFolder, name));
        }
    }
    return true;
}

bool TransferEngine::VerifyDownloadKey() {
    return engine::VerifyDownloadKey(context_);
}

bool TransferEngine::DownloadFilesUsingKey() {
    return engine::DownloadFilesUsingKey(context_);
}

bool TransferEngine::DownloadCompleteWithKey() {
    return engine::DownloadCompleteWithKey(context_);
}

bool TransferEngine::TestDestUsingKey() {
    return engine::TestDestUsingKey(context_);
}

control::EngineFactory MakeEngineFactory(EngineConfig config) {
    return [config = std::move(config)](control::ControlBlock& block) {
        return std::make_unique<TransferEngine>(block, config);
    };
}

}  // namespace engine
