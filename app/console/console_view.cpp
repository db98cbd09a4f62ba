#include "app/console/console_view.h"

#include <cctype>
#include <chrono>

#include "platform/file.h"
#include "platform/strings.h"

namespace app {
namespace {

constexpr int kBarWidth = 40;

// Message texts use CR LF line ends; a console wants plain line ends.
std::string ConsoleText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

bool IsYes(const std::string& answer) {
    return platform::EqualsNoCase(answer, "y") || platform::EqualsNoCase(answer, "yes") ||
           platform::EqualsNoCase(answer, "ok");
}

}  // namespace

ConsoleView::ConsoleView(std::FILE* in, std::FILE* out, std::FILE* err, bool drawBar)
    : in_(in), out_(out), err_(err), drawBar_(drawBar) {}

void ConsoleView::AddLine(const std::string& text) {
    EraseBar();
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    DrawBar();
}

void ConsoleView::ReplaceLastLine(const std::string& text) {
    AddLine(text);
}

void ConsoleView::SetRange(int minimum, int maximum) {
    rangeMin_ = minimum;
    rangeMax_ = maximum;
}

int ConsoleView::SetPos(int position) {
    const int previous = position_;
    position_ = position;
    DrawBar();
    return previous;
}

int ConsoleView::SetStep(int step) {
    const int previous = step_;
    step_ = step;
    return previous;
}

int ConsoleView::StepIt() {
    return SetPos(position_ + step_);
}

void ConsoleView::Hide() {
    EraseBar();
    barHidden_ = true;
}

void ConsoleView::DrawBar() {
    if (!drawBar_ || barHidden_ || rangeMax_ <= rangeMin_) {
        return;
    }
    const double fraction =
        static_cast<double>(position_ - rangeMin_) / static_cast<double>(rangeMax_ - rangeMin_);
    const int percent = static_cast<int>(fraction * 100);
    if (percent == drawnPercent_) {
        return;
    }
    drawnPercent_ = percent;
    int filled = static_cast<int>(fraction * kBarWidth);
    filled = filled < 0 ? 0 : (filled > kBarWidth ? kBarWidth : filled);
    const std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                            std::to_string(percent) + "%";
    std::fputs(bar.c_str(), err_);
    std::fflush(err_);
}

void ConsoleView::EraseBar() {
    if (!drawBar_ || drawnPercent_ < 0) {
        return;
    }
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    drawnPercent_ = -1;
}

void ConsoleView::ShowDestination(const std::string& text) {
    std::fprintf(err_, "Destination Folder: %s\n", text.c_str());
    std::fflush(err_);
}

void ConsoleView::ShowMessage(const std::string& text) {
    EraseBar();
    std::fprintf(out_, "%s\n", ConsoleText(text).c_str());
    std::fflush(out_);
}

std::optional<std::string> ConsoleView::ReadLine() {
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in_)) != EOF) {
        any = true;
        if (c == '\n') {
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!any) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

bool ConsoleView::AskReplace(const std::string& text) {
    EraseBar();
    std::fprintf(err_, "%s [OK/Cancel] ", text.c_str());
    std::fflush(err_);
    const std::optional<std::string> answer = ReadLine();
    return answer && IsYes(*answer);
}

std::optional<std::string> ConsoleView::ChooseFolder() {
    std::fputs("Destination Folder (empty to cancel): ", err_);
    std::fflush(err_);
    std::optional<std::string> folder = ReadLine();
    if (!folder || folder->empty()) {
        return std::nullopt;
    }
    auto info = platform::GetFileInfo(*folder);
    if (!info || !info->isDirectory) {
        std::fprintf(err_, "Not a folder: %s\n", folder->c_str());
        std::fflush(err_);
        return std::nullopt;
    }
    return folder;
}

DialogOutcome RunConsoleDialog(TransferDialog& dialog, ConsoleView& view) {
    dialog.Initialise();
    while (!view.Closed() && view.TimerPeriodMs() > 0) {
        // A tick on the timer, or sooner when the worker has news.
        dialog.WaitForNews(std::chrono::milliseconds(view.TimerPeriodMs()));
        dialog.OnTimer();
    }
    return dialog.Outcome();
}

ConsoleLaunchHost::ConsoleLaunchHost(ConsoleView& view, ControllerFactory makeController,
                                     platform::Clock& clock, DialogSettings settings)
    : view_(view),
      makeController_(std::move(makeController)),
      clock_(clock),
      settings_(std::move(settings)) {}

void ConsoleLaunchHost::ShowMessage(const std::string& text) {
    view_.ShowMessage(text);
}

void ConsoleLaunchHost::RunDialog(const std::optional<std::string>& key) {
    TransferDialog dialog(view_, makeController_, clock_, settings_);
    dialog.SetKey(key);
    outcome_ = RunConsoleDialog(dialog, view_);
}

int ConsoleExitStatus(LaunchResult launch, DialogOutcome outcome) {
    if (launch == LaunchResult::UnusableKeyFile || outcome == DialogOutcome::NoKey) {
        return 2;
    }
    return outcome == DialogOutcome::Completed ? 0 : 1;
}

}  // namespace app
