#include "app/console/console_view.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>

#include "app/status_text.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/strings.h"

namespace app {
namespace {

constexpr int kBarWidth = 40;
// Beside a status line the bar gives up width down to this.
constexpr int kNarrowestBar = 10;
// A folder that is not there is asked for once more before the run is
// cancelled.
constexpr int kFolderAttempts = 2;

// The length of the valid UTF-8 sequence at `at` that stands for a
// printable character; 0 for a byte that starts none, a broken or
// overlong sequence, a surrogate, or a C1 control (U+0080 to U+009F),
// which terminals obey as they do ESC sequences.
std::size_t PrintableSequence(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the allowed range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = lead == 0xC2 ? 0xA0 : 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Text as the console prints it. Names in the file list come from the
// network, and a control byte or a broken UTF-8 sequence in one would reach
// the terminal as a command (clearing the screen, moving the cursor,
// faking lines): such bytes are shown as \xNN, and a backslash as \\ so
// that no such escape can be faked. With `crLfLineEnds` (message texts),
// a CR LF pair is a plain line end instead.
std::string ConsoleText(std::string_view text, bool crLfLineEnds) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (crLfLineEnds && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out.push_back('\n');
            i += 2;
        } else if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
            ++i;
        } else if (const std::size_t length = c >= 0x80 ? PrintableSequence(text, i) : 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += platform::StrPrintf("\\x%02x", c);
            ++i;
        }
    }
    return out;
}

bool IsYes(const std::string& answer) {
    return platform::EqualsNoCase(answer, "y") || platform::EqualsNoCase(answer, "yes") ||
           platform::EqualsNoCase(answer, "ok");
}

// At most `columns` characters of UTF-8 text (as ConsoleText leaves it),
// cut between characters: a line as long as the terminal is wide would
// wrap, and a carriage return would then redraw only its last row.
std::string FitColumns(std::string text, std::size_t columns) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++characters > columns) {
            text.resize(i);
            break;
        }
    }
    return text;
}

// A folder and every missing level above it; levels that exist are passed.
// A typed folder may use any of the system's separators ('/' on Windows
// too).
platform::Status MakeFolders(const std::string& path) {
    for (std::size_t at = path.find_first_of(platform::kPathSeparators, 1); at != std::string::npos;
         at = path.find_first_of(platform::kPathSeparators, at + 1)) {
        if (auto made = platform::CreateFolder(path.substr(0, at)); !made.ok()) {
            return made;
        }
    }
    return platform::CreateFolder(path);
}

std::string Files(int count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

}  // namespace

std::string ExpandHome(const std::string& path, const std::string& home) {
    if (home.empty() || (path != "~" && !path.starts_with("~/"))) {
        return path;
    }
    const std::string base = home.ends_with('/') ? home.substr(0, home.size() - 1) : home;
    return path == "~" ? home : base + path.substr(1);
}

std::string SummaryLine(const RunSummary& summary) {
    const char* how = summary.stopped    ? "Stopped"
                      : summary.complete ? "Done"
                                         : "Finished with errors";
    std::string line = platform::StrPrintf(
        "%s: %s complete, %d skipped, %d failed; %s in %s", how,
        Files(summary.filesComplete).c_str(), summary.filesSkipped, summary.filesFailed,
        FormatBytes(summary.bytes).c_str(),
        FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(summary.elapsed)).c_str());
    if (summary.bytes > 0 && summary.elapsed.count() > 0) {
        line += " (" + FormatBytes(summary.bytes * 1000 / summary.elapsed.count()) + "/s)";
    }
    return line;
}

ConsoleView::ConsoleView(std::FILE* in, std::FILE* out, std::FILE* err, ConsoleOptions options)
    : in_(in), out_(out), err_(err), options_(std::move(options)) {}

void ConsoleView::AddLine(const std::string& text) {
    EraseBar();
    std::fputs(ConsoleText(text, false).c_str(), out_);
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
    barStarted_ = true;
}

// The run sequence moves the bar a step at a time, many steps a tick: it
// is drawn with the next status (each tick has one) or line, not at each.
int ConsoleView::SetPos(int position) {
    const int previous = position_;
    position_ = position;
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

void ConsoleView::SetBusy(bool busy) {
    barBusy_ = busy;
    DrawBar();
}

void ConsoleView::ShowStatus(const std::string& text) {
    status_ = text;
    if (options_.errorIsTerminal) {
        DrawBar();
        return;
    }
    // Not drawn, the status line would leave a log of the run without the
    // cause of a failed attempt: that is written once, as a line.
    const std::size_t next = text.find(". Trying again in ");
    if (text.starts_with("Attempt ") && next != std::string::npos) {
        std::string failure = text.substr(0, next + 1);
        if (failure != failureWritten_) {
            std::fprintf(err_, "%s\n", ConsoleText(failure, false).c_str());
            std::fflush(err_);
            failureWritten_ = std::move(failure);
        }
    }
}

std::string ConsoleView::ProgressLine() const {
    // The last column stays free: the cursor stands there after the line.
    const int columns = std::max(options_.columns - 1, 2 * kNarrowestBar);
    const std::string status = ConsoleText(status_, false);
    if (!barStarted_ || barHidden_ || barBusy_ || rangeMax_ <= rangeMin_) {
        return FitColumns(status, static_cast<std::size_t>(columns));
    }
    const double fraction =
        static_cast<double>(position_ - rangeMin_) / static_cast<double>(rangeMax_ - rangeMin_);
    const std::string figure = " " + std::to_string(static_cast<int>(fraction * 100)) + "%";
    int width = kBarWidth;
    if (!status.empty()) {
        const int room =
            columns - 2 - static_cast<int>(figure.size()) - 2 - static_cast<int>(status.size());
        width = std::clamp(room, kNarrowestBar, kBarWidth);
    }
    const int filled = std::clamp(static_cast<int>(fraction * width), 0, width);
    std::string line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(width - filled), '.') + "]" + figure;
    if (!status.empty()) {
        line += "  " + status;
    }
    return FitColumns(std::move(line), static_cast<std::size_t>(columns));
}

void ConsoleView::DrawBar() {
    if (!options_.errorIsTerminal) {
        return;
    }
    std::string line = ProgressLine();
    if (line == drawn_) {
        return;
    }
    std::fputs(("\r" + line + "\033[K").c_str(), err_);
    std::fflush(err_);
    drawn_ = std::move(line);
}

void ConsoleView::EraseBar() {
    if (drawn_.empty()) {
        return;
    }
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    drawn_.clear();
}

void ConsoleView::ShowDestination(const std::string& text) {
    EraseBar();
    // Before there is a folder the line says what happens.
    if (text == kCheckingText) {
        std::fprintf(err_, "%s\n", text.c_str());
    } else {
        std::fprintf(err_, "Destination Folder: %s\n", ConsoleText(text, false).c_str());
    }
    std::fflush(err_);
}

void ConsoleView::ShowMessage(const std::string& text) {
    EraseBar();
    std::fprintf(out_, "%s\n", ConsoleText(text, true).c_str());
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

void ConsoleView::ShowFailure(const std::string& text) {
    EraseBar();
    std::fprintf(err_, "%s\n", ConsoleText(text, true).c_str());
    std::fflush(err_);
}

void ConsoleView::ShowEnd(const RunSummary& summary) {
    EraseBar();
    barHidden_ = true;
    status_.clear();
    std::fprintf(err_, "%s\n", SummaryLine(summary).c_str());
    std::fflush(err_);
    endShown_ = true;
}

std::optional<std::string> ConsoleView::Ask(const std::string& prompt) {
    EraseBar();
    ConsoleStop* const stop = Stop();
    // A stop that came before the prompt cancels it.
    if (stop != nullptr && !stop->EnterPrompt()) {
        return std::nullopt;
    }
    std::fputs(prompt.c_str(), err_);
    if (!options_.inputIsTerminal) {
        std::fputc('\n', err_);
    }
    std::fflush(err_);
    std::optional<std::string> answer = ReadLine();
    if (stop != nullptr) {
        stop->LeavePrompt();
    }
    return answer;
}

bool ConsoleView::AskReplace(const std::string& text, const std::vector<std::string>& existing) {
    EraseBar();
    for (const std::string& name : existing) {
        std::fprintf(err_, "  %s\n", ConsoleText(name, false).c_str());
    }
    const std::optional<std::string> answer = Ask(ConsoleText(text, true) + " [OK/Cancel] ");
    return answer && IsYes(*answer);
}

std::optional<std::string> ConsoleView::ChooseFolder(const std::string&) {
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        const std::optional<std::string> answer = Ask("Destination Folder (empty to cancel): ");
        if (!answer || answer->empty()) {
            return std::nullopt;
        }
        if (std::optional<std::string> folder = FolderFromAnswer(*answer)) {
            return folder;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ConsoleView::FolderFromAnswer(const std::string& answer) {
    std::string folder = ExpandHome(answer, options_.home);
    const auto info = platform::GetFileInfo(folder);
    if (info && info->isDirectory) {
        return folder;
    }
    std::fprintf(err_, "Not a folder: %s\n", ConsoleText(folder, false).c_str());
    if (info || !info.error().NotFound()) {
        return std::nullopt;  // something else is there, or it cannot be looked at
    }
    const std::optional<std::string> create = Ask("Create it? [yes/no] ");
    if (!create || !IsYes(*create)) {
        return std::nullopt;
    }
    if (const platform::Status made = MakeFolders(folder); !made.ok()) {
        std::fprintf(err_, "Could not create %s: %s\n", ConsoleText(folder, false).c_str(),
                     made.error().Message().c_str());
        std::fflush(err_);
        return std::nullopt;
    }
    return folder;
}

DialogOutcome RunConsoleDialog(TransferDialog& dialog, ConsoleView& view) {
    ConsoleStop* const stop = view.Stop();
    if (stop != nullptr) {
        // The loop waits on the stop, which the worker's news wakes too.
        dialog.SetNewsHandler([stop] { stop->Wake(); });
    }
    dialog.Initialise();
    while (!view.Closed() && view.TimerPeriodMs() > 0) {
        // A tick on the timer, or sooner when the worker has news, a retry
        // is due or a stop was asked for.
        const std::chrono::milliseconds period(view.TimerPeriodMs());
        const std::chrono::milliseconds wait =
            std::min(period, dialog.UntilRetry().value_or(period));
        if (stop == nullptr) {
            dialog.WaitForNews(wait);
        } else {
            stop->WaitFor(wait);
            if (stop->Take()) {
                // Whatever it answers, the dialog closes itself once
                // nothing runs.
                (void)dialog.RequestStop(/*ask=*/false);
            }
        }
        dialog.OnTimer();
    }
    // A stop before the download began has nothing of its own to sum up;
    // the line still says how the program ended.
    if (dialog.Outcome() == DialogOutcome::Stopped && !view.EndShown()) {
        RunSummary stopped;
        stopped.stopped = true;
        view.ShowEnd(stopped);
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
