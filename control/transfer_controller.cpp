#include "control/transfer_controller.h"

#include <chrono>

#include "control/worker.h"
#include "platform/strings.h"

namespace control {
namespace {

const char* FlagText(bool on) {
    return on ? "1" : "0";
}

}  // namespace

TransferController::TransferController(EngineFactory makeEngine, platform::Clock& clock,
                                       std::function<void()> onNews)
    : block_(std::make_shared<ControlBlock>(clock)) {
    block_->onNews = std::move(onNews);
    // The worker shares ownership of the block, so a worker passed to the
    // process never outlives the memory it uses.
    worker_ = platform::OwnedThread(
        [block = block_, factory = std::move(makeEngine)] { RunWorker(*block, factory); });
}

TransferController::~TransferController() {
    if (!shutDown_) {
        block_->command.store(command::kExit);
        block_->commandEvent.Signal();
    }
    // worker_ goes now: joined when it has ended, else passed to the process.
}

bool TransferController::Shutdown(std::chrono::milliseconds grace) {
    if (shutDown_) {
        return !worker_.IsJoinable();
    }
    shutDown_ = true;
    block_->command.store(command::kExit);
    block_->commandEvent.Signal();
    // The worker is idle after the final Reset and leaves at once; the
    // pause is only its grace time.
    const bool joined = worker_.JoinFor(grace);
    block_->log.Close();
    return joined;
}

template <typename... Args>
void TransferController::Trace(const char* format, Args... args) {
    net::Logf(block_->log, net::LineKind::ControllerTrace, format, args...);
}

void TransferController::PostOperation(std::int32_t code) {
    block_->result.store(kResultRunning);
    block_->command.store(code);
    block_->commandEvent.Signal();
}

void TransferController::SetClientId(std::string_view text) {
    block_->clientId = std::string(platform::Cut(text, kClientIdLimit));
    Trace("CALLMEMBER SetClientId %s\n", block_->clientId.c_str());
}

void TransferController::SetLogin(std::string_view loginId, std::string_view password) {
    block_->loginId = std::string(platform::Cut(loginId, kLoginIdLimit));
    block_->password = std::string(platform::Cut(password, kPasswordLimit));
}

void TransferController::Reset() {
    Trace("CALLMEMBER Reset\n");
    block_->result.store(kResultRunning);
    block_->command.store(command::kReset);
    block_->commandEvent.Signal();
    SetStartTime();
    WaitDone();
}

void TransferController::VerifyDownloadKey() {
    Trace("CALLMEMBER VerifyDownloadKey\n");
    PostOperation(command::kVerifyDownloadKey);
}

void TransferController::DownloadUsingKey() {
    Trace("CALLMEMBER DownloadUsingKey\n");
    PostOperation(command::kDownloadUsingKey);
}

void TransferController::DownloadCompleteWithKey() {
    Trace("CALLMEMBER DownloadCompleteWithKey\n");
    PostOperation(command::kDownloadCompleteWithKey);
}

void TransferController::TestDestUsingKey() {
    Trace("CALLMEMBER TestDestUsingKey\n");
    PostOperation(command::kTestDestUsingKey);
}

void TransferController::SetStartTime() {
    // The time itself served only operations this program never runs;
    // the trace line stays, as the log has always shown it.
    Trace("CALLMEMBER SetStartTime \n");
}

std::int32_t TransferController::GetResult() {
    std::lock_guard<std::mutex> lock(block_->progressLock);
    return block_->result.load();
}

std::string TransferController::GetConclusion() {
    std::lock_guard<std::mutex> lock(block_->progressLock);
    return block_->conclusionText;
}

ProgressSnapshot TransferController::GetProgress() {
    std::lock_guard<std::mutex> lock(block_->progressLock);
    const LiveProgress& live = block_->progress;
    ProgressSnapshot copy;
    copy.fileIndex = live.fileIndex;
    copy.fileSizeK = live.fileSizeK;
    copy.doneK = live.doneK;
    if (live.hasFilePath) {
        copy.filePath = std::string(platform::Cut(block_->currentPath, kProgressPathLimit));
    }
    copy.fileFinished = live.fileFinished;
    copy.compressed = live.compressed;
    copy.status = live.status;
    copy.fileCount = live.fileCount;
    copy.failedFiles = live.failedFiles;
    copy.fileBytes = live.fileBytes;
    copy.receivedBytes = live.receivedBytes;
    copy.runBytes = live.runBytes;
    copy.runBytesDone = live.runBytesDone;
    return copy;
}

void TransferController::Stop() {
    Trace("CALLMEMBER Stop\n");
    block_->stopRequested.store(true);
    const std::lock_guard<std::mutex> lock(block_->interruptLock);
    if (block_->interrupt) {
        block_->interrupt();
    }
}

FailureCause TransferController::GetFailureCause() {
    const std::lock_guard<std::mutex> lock(block_->progressLock);
    return block_->failureCause;
}

std::vector<std::string> TransferController::GetExistingFiles() {
    const std::lock_guard<std::mutex> lock(block_->progressLock);
    return block_->existingFiles;
}

void TransferController::SetLogDirectory(std::string_view text) {
    block_->log.SetDirectory(std::string(text));
}

void TransferController::OpenLog(std::uint32_t flags) {
    block_->log.Open(flags);
}

void TransferController::SetLocalDirectory(std::string_view text) {
    const std::string copy(text);
    Trace("CALLMEMBER SetLocalDirectory %s\n", copy.c_str());
    block_->localDirectory = copy;
}

void TransferController::SetDownloadKey(std::string_view text) {
    const std::string copy(text);
    Trace("CALLMEMBER SetDownloadKey %s\n", copy.c_str());
    block_->downloadKey = copy;
}

void TransferController::SetVerification(bool on) {
    Trace("CALLMEMBER SetVerification %s\n", FlagText(on));
    block_->verification.store(on);
}

void TransferController::UseQvnDate(bool on) {
    Trace("CALLMEMBER UseQvnDate %s\n", FlagText(on));
    block_->useQvnDate.store(on);
}

void TransferController::SetTransferCompress(bool on) {
    Trace("CALLMEMBER SetTransferCompress %s\n", FlagText(on));
    block_->transferCompress.store(on);
}

void TransferController::SyncFileAccess(bool on) {
    Trace("CALLMEMBER SyncFileAccess %s\n", FlagText(on));
    block_->syncFileAccess.store(on);
}

void TransferController::WaitDone() {
    block_->doneEvent.Wait();
}

bool TransferController::WaitForNews(std::chrono::milliseconds timeout) {
    return block_->newsEvent.WaitFor(timeout);
}

void TransferController::AcknowledgeFile() {
    block_->ackEvent.Signal();
}

}  // namespace control
