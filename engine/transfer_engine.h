#pragma once
// The worker-side engine: one per worker thread, running one operation per
// command on the shared control block.

#include "control/worker_engine.h"
#include "engine/engine_context.h"

namespace engine {

class TransferEngine final : public control::WorkerEngine {
  public:
    // Starts the socket library; contacts nothing.
    TransferEngine(control::ControlBlock& block, EngineConfig config);

    // Builds the server list from the deployment's servers, head first.
    bool PrepareServers() override;
    bool Disconnect() override;
    // Clears the run's state in a fixed order; never fails.
    bool Reset() override;
    bool VerifyDownloadKey() override;
    bool DownloadFilesUsingKey() override;
    bool DownloadCompleteWithKey() override;
    bool TestDestUsingKey() override;

    EngineContext& Context() { return context_; }

  private:
    EngineContext context_;
};

// The engine factory the worker uses, over a fixed configuration.
control::EngineFactory MakeEngineFactory(EngineConfig config);

}  // namespace engine
