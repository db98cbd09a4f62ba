#include "app/console/console_view.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>

#include "platform/file.h"
#include "platform/strings.h"

namespace app {
namespace {

constexpr int kBarWidth = 40;

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

}  // namespace

ConsoleView::ConsoleView(std::FILE* in, std::FILE* out, std::FILE* err, bool drawBar)
    : in_(in), out_(out), err_(err), drawBar_(drawBar) {}

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

void ConsoleView::ShowEnd(const RunSummary&) {}

bool ConsoleView::AskReplace(const std::string& text, const std::vector<std::string>& existing) {
    EraseBar();
    for (const std::string& name : existing) {
        std::fprintf(err_, "  %s\n", ConsoleText(name, false).c_str());
    }
    std::fprintf(err_, "%s [OK/Cancel] ", ConsoleText(text, true).c_str());
    std::fflush(err_);
    const std::optional<std::string> answer = ReadLine();
    return answer && IsYes(*answer);
}

std::optional<std::string> ConsoleView::ChooseFolder(const std::string&) {
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
        // A tick on the timer, or sooner when the worker has news or a
        // retry is due.
        const std::chrono::milliseconds period(view.TimerPeriodMs());
        dialog.WaitForNews(std::min(period, dialog.UntilRetry().value_or(period)));
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
