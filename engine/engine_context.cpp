#include "engine/engine_context.h"

#include <cctype>

namespace engine {

EngineContext::EngineContext(control::ControlBlock& blockIn, EngineConfig configIn)
    : block(blockIn),
      config(std::move(configIn)),
      link(blockIn.log, blockIn.clock, config.timeouts,
           config.resolver ? *config.resolver : net::DefaultHostResolver(), config.startSockets,
           config.connector ? *config.connector : net::SocketConnector()),
      ledger(config.workFolder),
      serviceNames(platform::TextConverter::Open(config.codePage, platform::kUtf8)) {
    const std::lock_guard<std::mutex> lock(block.interruptLock);
    block.interrupt = [this] { link.Interrupt(); };
    if (block.stopRequested.load()) {
        link.Interrupt();
    }
}

EngineContext::~EngineContext() {
    const std::lock_guard<std::mutex> lock(block.interruptLock);
    block.interrupt = nullptr;
}

void EngineContext::SetConclusion(std::string text) {
    std::lock_guard<std::mutex> lock(block.progressLock);
    block.conclusionText = std::move(text);
}

std::string EngineContext::Conclusion() {
    std::lock_guard<std::mutex> lock(block.progressLock);
    return block.conclusionText;
}

void EngineContext::NoteFailure(control::FailureCause::Kind kind, std::string text) {
    std::lock_guard<std::mutex> lock(block.progressLock);
    block.failureCause = control::FailureCause{kind, std::move(text)};
}

std::string EngineContext::CurrentServerName() {
    const net::ServerEntry* server = link.currentServer();
    return server == nullptr ? std::string("the service") : server->host + ":" + server->portText;
}

void EngineContext::NoteConnectionFailure(bool peerClosed) {
    using Kind = control::FailureCause::Kind;
    const net::ServerEntry* server = link.currentServer();
    const std::string name = CurrentServerName();
    if (StopRequested()) {
        NoteFailure(Kind::Stopped, "the download was stopped");
    } else if (peerClosed || server == nullptr) {
        NoteFailure(Kind::ConnectionLost, name + " closed the connection");
    } else if (server->connection.timedOut()) {
        const auto waited = server->connection.receiveTimeout();
        NoteFailure(Kind::NoAnswer,
                    "no answer from " + name + " for " +
                        (waited.count() % 1000 == 0 ? std::to_string(waited.count() / 1000) + " s"
                                                    : std::to_string(waited.count()) + " ms"));
    } else {
        std::string reason = platform::SystemMessage(server->connection.lastError());
        if (!reason.empty()) {
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        }
        NoteFailure(Kind::ConnectionLost, "the connection to " + name + " broke: " + reason);
    }
}

void EngineContext::NotifyProgress() {
    constexpr std::chrono::milliseconds kNewsPeriod{200};
    const std::chrono::milliseconds now = block.clock.SinceStart();
    if (now - lastProgressNews_ >= kNewsPeriod) {
        lastProgressNews_ = now;
        block.Notify();
    }
}

void EngineContext::Note(std::string_view name, NoteKind kind, bool reportNotFound,
                         platform::SysError error) {
    WriteResultNote(block.log, state.commNoteWritten, name, kind, reportNotFound, error);
}

}  // namespace engine
