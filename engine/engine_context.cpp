#include "engine/engine_context.h"

namespace engine {

EngineContext::EngineContext(control::ControlBlock& blockIn, EngineConfig configIn)
    : block(blockIn),
      config(std::move(configIn)),
      link(blockIn.log, blockIn.clock, config.timeouts,
           config.resolver ? *config.resolver : net::DefaultHostResolver(), config.startSockets,
           config.connector ? *config.connector : net::SocketConnector()),
      ledger(config.workFolder) {}

void EngineContext::SetConclusion(std::string text) {
    std::lock_guard<std::mutex> lock(block.progressLock);
    block.conclusionText = std::move(text);
}

std::string EngineContext::Conclusion() {
    std::lock_guard<std::mutex> lock(block.progressLock);
    return block.conclusionText;
}

void EngineContext::Note(std::string_view name, NoteKind kind, bool reportNotFound,
                         platform::SysError error) {
    WriteResultNote(block.log, state.commNoteWritten, name, kind, reportNotFound, error);
}

}  // namespace engine
