#pragma once
// The dialog's handle on the worker. Each operation stores a parameter in
// the control block, posts one command, or reads results back.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_block.h"
#include "control/worker_engine.h"
#include "platform/owned_thread.h"

namespace control {

class TransferController {
  public:
    // Allocates the control block and starts the worker, which makes its
    // engine with `makeEngine`.
    // `onNews` runs on the worker thread whenever it has news for the
    // dialog (see ControlBlock::newsEvent).
    TransferController(EngineFactory makeEngine, platform::Clock& clock,
                       std::function<void()> onNews = {});
    // Never waits for the worker. Without a Shutdown it is told to exit;
    // a worker that has ended is joined, and one still in an operation (a
    // long network wait) passes to the process (platform::OwnedThread),
    // which joins it once the operation is over, or it ends with the
    // process: an operation in progress is abandoned, never waited for.
    ~TransferController();
    TransferController(const TransferController&) = delete;
    TransferController& operator=(const TransferController&) = delete;

    // How long Shutdown gives the worker to leave.
    static constexpr std::chrono::milliseconds kShutdownGrace{1000};

    // Posts the exit command, gives the worker up to `grace` to leave and
    // joins it when it has, closes the log. True when the worker was
    // joined; a worker still busy after the grace is left to the
    // destructor, as above.
    bool Shutdown(std::chrono::milliseconds grace = kShutdownGrace);

    void SetClientId(std::string_view text);
    void SetLogin(std::string_view loginId, std::string_view password);
    // Posts Reset and waits until the worker has reset.
    void Reset();
    void VerifyDownloadKey();
    void DownloadUsingKey();
    void DownloadCompleteWithKey();
    void TestDestUsingKey();
    void SetStartTime();
    std::int32_t GetResult();
    std::string GetConclusion();
    ProgressSnapshot GetProgress();
    void SetLogDirectory(std::string_view text);
    void OpenLog(std::uint32_t flags);
    void SetLocalDirectory(std::string_view text);
    void SetDownloadKey(std::string_view text);
    void SetVerification(bool on);
    void UseQvnDate(bool on);
    void SetTransferCompress(bool on);
    void SyncFileAccess(bool on);
    void WaitDone();
    // Asks the engine to stop: the operation in progress ends as soon as it
    // can (a network wait at once), keeping what it has.
    void Stop();
    FailureCause GetFailureCause();
    std::vector<std::string> GetExistingFiles();
    // Waits until the worker has news or the time is up; true with news.
    bool WaitForNews(std::chrono::milliseconds timeout);
    void AcknowledgeFile();

    ControlBlock& Block() { return *block_; }

  private:
    template <typename... Args>
    void Trace(const char* format, Args... args);
    void PostOperation(std::int32_t code);

    std::shared_ptr<ControlBlock> block_;
    platform::OwnedThread worker_;
    bool shutDown_ = false;
};

}  // namespace control
