#pragma once
// The controller operations that the transfer dialog uses. The real
// controller is adapted to it; tests script it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_block.h"
#include "control/worker_engine.h"

namespace app {

class DialogController {
  public:
    virtual ~DialogController() = default;
    virtual void SetDownloadKey(std::string_view key) = 0;
    virtual void SetLogin(std::string_view loginId, std::string_view password) = 0;
    virtual void SetLocalDirectory(std::string_view folder) = 0;
    virtual void SetVerification(bool on) = 0;
    virtual void SetTransferCompress(bool on) = 0;
    virtual void UseQvnDate(bool on) = 0;
    virtual void SyncFileAccess(bool on) = 0;
    virtual void SetClientId(std::string_view id) = 0;
    virtual void SetLogDirectory(std::string_view folder) = 0;
    virtual void OpenLog(std::uint32_t flags) = 0;

    virtual void VerifyDownloadKey() = 0;
    virtual void TestDestUsingKey() = 0;
    virtual void DownloadUsingKey() = 0;
    virtual void DownloadCompleteWithKey() = 0;
    virtual void Reset() = 0;
    virtual void Shutdown() = 0;

    virtual std::int32_t GetResult() = 0;
    virtual std::string GetConclusion() = 0;
    virtual control::ProgressSnapshot GetProgress() = 0;
    virtual void AcknowledgeFile() = 0;
    // Ends the operation under way as soon as it can, keeping what it has.
    virtual void Stop() = 0;
    virtual control::FailureCause GetFailureCause() = 0;
    // The destination test's existing files (full paths).
    virtual std::vector<std::string> GetExistingFiles() = 0;
    // Waits until the worker has news (a stored result, a file's end) or the
    // time is up; true with news.
    virtual bool WaitForNews(std::chrono::milliseconds timeout) = 0;
};

// Makes the dialog's one controller when the dialog initialises; `onNews`
// runs on the worker thread with every news.
using ControllerFactory =
    std::function<std::unique_ptr<DialogController>(std::function<void()> onNews)>;

// A factory for the real controller over a worker with engines from
// `makeEngine`.
ControllerFactory RealControllerFactory(control::EngineFactory makeEngine, platform::Clock& clock);

}  // namespace app
