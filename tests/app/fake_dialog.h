#pragma once
// A scripted controller and a recording view for the run-sequence tests.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_controller.h"
#include "app/dialog_view.h"

namespace app_testing {

class FakeController final : public app::DialogController {
  public:
    struct State {
        std::vector<std::string> calls;
        std::int32_t result = 0;
        std::string conclusion;
        control::ProgressSnapshot progress;
        int acknowledgements = 0;
        // Results the next polls return, one per GetResult, before `result`.
        std::vector<std::int32_t> scriptedResults;
        std::string localDirectory;
        std::optional<bool> verification;
        // Called at every GetProgress (the first read of each poll and
        // tick), to move a scripted run along.
        std::function<void(State&)> beforeProgress;
        // The time-outs of the dialog's waits for news, in order.
        std::vector<std::chrono::milliseconds> newsWaits;
        // What the dialog gave the controller to call on news.
        std::function<void()> onNews;
        control::FailureCause failure;
        std::vector<std::string> existing;
        // Moved on by each wait for news, as the real wait takes time.
        platform::Clock* clock = nullptr;
    };

    explicit FakeController(State& state) : s_(state) {}

    void SetDownloadKey(std::string_view key) override {
        Call("SetDownloadKey " + std::string(key));
    }
    void SetLogin(std::string_view, std::string_view) override { Call("SetLogin"); }
    void SetLocalDirectory(std::string_view folder) override {
        s_.localDirectory = std::string(folder);
        Call("SetLocalDirectory");
    }
    void SetVerification(bool on) override {
        s_.verification = on;
        Call(std::string("SetVerification ") + (on ? "1" : "0"));
    }
    void SetTransferCompress(bool on) override { Call(Flag("SetTransferCompress", on)); }
    void UseQvnDate(bool on) override { Call(Flag("UseQvnDate", on)); }
    void SyncFileAccess(bool on) override { Call(Flag("SyncFileAccess", on)); }
    void SetClientId(std::string_view id) override { Call("SetClientId " + std::string(id)); }
    void SetLogDirectory(std::string_view folder) override {
        Call("SetLogDirectory " + std::string(folder));
    }
    void OpenLog(std::uint32_t flags) override { Call("OpenLog " + std::to_string(flags)); }
    void VerifyDownloadKey() override { Post("VerifyDownloadKey"); }
    void TestDestUsingKey() override { Post("TestDestUsingKey"); }
    void DownloadUsingKey() override { Post("DownloadUsingKey"); }
    void DownloadCompleteWithKey() override { Post("DownloadCompleteWithKey"); }
    void Reset() override {
        Call("Reset");
        // As the real worker: Reset succeeds and clears the conclusion and
        // the progress record.
        s_.result = 2;
        s_.conclusion.clear();
        s_.progress = {};
    }
    void Shutdown() override { Call("Shutdown"); }
    std::int32_t GetResult() override {
        if (!s_.scriptedResults.empty()) {
            s_.result = s_.scriptedResults.front();
            s_.scriptedResults.erase(s_.scriptedResults.begin());
        }
        return s_.result;
    }
    std::string GetConclusion() override { return s_.conclusion; }
    control::ProgressSnapshot GetProgress() override {
        if (s_.beforeProgress) {
            s_.beforeProgress(s_);
        }
        return s_.progress;
    }
    void AcknowledgeFile() override {
        ++s_.acknowledgements;
        Call("AcknowledgeFile");
    }
    bool WaitForNews(std::chrono::milliseconds timeout) override {
        s_.newsWaits.push_back(timeout);
        if (s_.clock != nullptr) {
            s_.clock->SleepFor(timeout);
        }
        return false;
    }
    void Stop() override { Call("Stop"); }
    control::FailureCause GetFailureCause() override { return s_.failure; }
    std::vector<std::string> GetExistingFiles() override { return s_.existing; }

  private:
    static std::string Flag(const char* name, bool on) {
        return std::string(name) + (on ? " 1" : " 0");
    }
    void Call(std::string text) { s_.calls.push_back(std::move(text)); }
    void Post(const char* name) {
        Call(name);
        s_.result = 1;
    }
    State& s_;
};

// A factory that makes fake controllers over one scripted state.
inline app::ControllerFactory FakeFactory(FakeController::State& state) {
    return [&state](std::function<void()> onNews) {
        state.onNews = std::move(onNews);
        return std::make_unique<FakeController>(state);
    };
}

class FakeView final : public app::DialogView, app::FileListView, app::ProgressBarView {
  public:
    // FileListView
    void AddLine(const std::string& text) override { lines.push_back(text); }
    void ReplaceLastLine(const std::string& text) override {
        if (lines.empty()) {
            lines.push_back(text);
        } else {
            lines.back() = text;
        }
        ++replacements;
    }
    void ScrollToEnd() override {}
    void Clear() override { lines.clear(); }
    // ProgressBarView
    void SetRange(int minimum, int maximum) override {
        rangeMin = minimum;
        rangeMax = maximum;
    }
    int SetPos(int position) override {
        const int previous = pos;
        pos = position;
        return previous;
    }
    int SetStep(int s) override {
        const int previous = step;
        step = s;
        return previous;
    }
    int StepIt() override {
        ++stepCalls;
        return SetPos(pos + step);
    }
    void Hide() override { barHidden = true; }
    void SetBusy(bool on) override { barBusy = on; }
    // DialogView
    app::FileListView& FileList() override { return *this; }
    app::ProgressBarView& Bar() override { return *this; }
    void ShowDestination(const std::string& text) override { destination = text; }
    void ShowStatus(const std::string& text) override { status = text; }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (duringMessage) {
            duringMessage();
        }
    }
    void ShowFailure(const std::string& text) override { failures.push_back(text); }
    bool AskReplace(const std::string& text, const std::vector<std::string>& names) override {
        questions.push_back(text);
        existingShown = names;
        if (duringQuestion) {
            duringQuestion();
        }
        return replaceAnswer;
    }
    bool AskStop(const std::string& text) override {
        questions.push_back(text);
        return stopAnswer;
    }
    std::optional<std::string> ChooseFolder(const std::string& start) override {
        startFolder = start;
        ++folderRequests;
        if (duringFolderChoice) {
            duringFolderChoice();
        }
        return folderAnswer;
    }
    void StartTimer(int periodMs) override { timerPeriod = periodMs; }
    void StopTimer() override { timerPeriod = 0; }
    void EnableClose() override { closeEnabled = true; }
    void CloseDialog() override { closed = true; }
    void ShowEnd(const app::RunSummary& summary) override { end = summary; }

    std::vector<std::string> lines;
    int replacements = 0;
    int rangeMin = 0, rangeMax = 100, pos = 0, step = 1, stepCalls = 0;
    bool barHidden = false;
    bool barBusy = false;
    std::string destination;
    std::string status;
    std::vector<std::string> messages;
    std::vector<std::string> failures;
    std::vector<std::string> questions;
    std::vector<std::string> existingShown;
    bool replaceAnswer = true;
    bool stopAnswer = true;
    std::string startFolder;
    std::optional<app::RunSummary> end;
    // E.g. a tick in the event loop of the box or the chooser.
    std::function<void()> duringQuestion;
    std::function<void()> duringMessage;
    std::function<void()> duringFolderChoice;
    std::optional<std::string> folderAnswer;
    int folderRequests = 0;
    int timerPeriod = 0;
    bool closeEnabled = false;
    bool closed = false;
};

}  // namespace app_testing
