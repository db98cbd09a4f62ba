#pragma once
// The worker's view of the engine. The worker runs one operation per
// command and knows nothing else of it, so the controller and worker are
// built and tested without the engine.

#include <cstdint>
#include <functional>
#include <memory>

namespace control {

struct ControlBlock;

class WorkerEngine {
  public:
    virtual ~WorkerEngine() = default;

    // One-time set-up before the first command (builds the server list).
    virtual bool PrepareServers() = 0;
    // Closes and forgets the open server connection, if any.
    virtual bool Disconnect() = 0;

    virtual bool Reset() = 0;
    virtual bool VerifyDownloadKey() = 0;
    virtual bool DownloadFilesUsingKey() = 0;
    virtual bool DownloadCompleteWithKey() = 0;
    virtual bool TestDestUsingKey() = 0;
};

// Makes the engine for a block; called on the worker thread when it starts.
using EngineFactory = std::function<std::unique_ptr<WorkerEngine>(ControlBlock&)>;

}  // namespace control
