#include "app/dialog_controller.h"

#include "control/transfer_controller.h"

namespace app {
namespace {

class ControllerAdapter final : public DialogController {
  public:
    ControllerAdapter(control::EngineFactory makeEngine, platform::Clock& clock,
                      std::function<void()> onNews)
        : controller_(std::move(makeEngine), clock, std::move(onNews)) {}

    void SetDownloadKey(std::string_view key) override { controller_.SetDownloadKey(key); }
    void SetLogin(std::string_view loginId, std::string_view password) override {
        controller_.SetLogin(loginId, password);
    }
    void SetLocalDirectory(std::string_view folder) override {
        controller_.SetLocalDirectory(folder);
    }
    void SetVerification(bool on) override { controller_.SetVerification(on); }
    void SetTransferCompress(bool on) override { controller_.SetTransferCompress(on); }
    void UseQvnDate(bool on) override { controller_.UseQvnDate(on); }
    void SyncFileAccess(bool on) override { controller_.SyncFileAccess(on); }
    void SetClientId(std::string_view id) override { controller_.SetClientId(id); }
    void SetLogDirectory(std::string_view folder) override { controller_.SetLogDirectory(folder); }
    void OpenLog(std::uint32_t flags) override { controller_.OpenLog(flags); }
    void VerifyDownloadKey() override { controller_.VerifyDownloadKey(); }
    void TestDestUsingKey() override { controller_.TestDestUsingKey(); }
    void DownloadUsingKey() override { controller_.DownloadUsingKey(); }
    void DownloadCompleteWithKey() override { controller_.DownloadCompleteWithKey(); }
    void Reset() override { controller_.Reset(); }
    void Shutdown() override { controller_.Shutdown(); }
    std::int32_t GetResult() override { return controller_.GetResult(); }
    std::string GetConclusion() override { return controller_.GetConclusion(); }
    control::ProgressSnapshot GetProgress() override { return controller_.GetProgress(); }
    void AcknowledgeFile() override { controller_.AcknowledgeFile(); }
    void Stop() override { controller_.Stop(); }
    control::FailureCause GetFailureCause() override { return controller_.GetFailureCause(); }
    std::vector<std::string> GetExistingFiles() override { return controller_.GetExistingFiles(); }
    bool WaitForNews(std::chrono::milliseconds timeout) override {
        return controller_.WaitForNews(timeout);
    }

  private:
    control::TransferController controller_;
};

}  // namespace

ControllerFactory RealControllerFactory(control::EngineFactory makeEngine, platform::Clock& clock) {
    return [makeEngine = std::move(makeEngine),
            &clock](std::function<void()> onNews) -> std::unique_ptr<DialogController> {
        return std::make_unique<ControllerAdapter>(makeEngine, clock, std::move(onNews));
    };
}

}  // namespace app
