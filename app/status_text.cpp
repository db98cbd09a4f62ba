#include "app/status_text.h"

#include <cmath>

#include "platform/strings.h"

namespace app {
namespace {

constexpr std::int64_t kKilo = 1024;

// A size in a unit, with one decimal below ten.
std::string Scaled(double value, const char* unit) {
    return value < 10 ? platform::StrPrintf("%.1f %s", std::floor(value * 10) / 10, unit)
                      : platform::StrPrintf("%.0f %s", std::floor(value), unit);
}

}  // namespace

std::string FormatBytesOf(std::int64_t part, std::int64_t whole) {
    std::string first = FormatBytes(part);
    const std::string second = FormatBytes(whole);
    const std::size_t unit = second.rfind(' ');
    if (unit != std::string::npos && first.ends_with(second.substr(unit))) {
        first.resize(first.size() - (second.size() - unit));
    }
    return first + " of " + second;
}

std::string FormatBytes(std::int64_t bytes) {
    if (bytes < kKilo) {
        return std::to_string(bytes < 0 ? 0 : bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / kKilo;
    std::size_t unit = 0;
    while (value >= kKilo && unit + 1 < std::size(units)) {
        value /= kKilo;
        ++unit;
    }
    return Scaled(value, units[unit]);
}

std::string FormatDuration(std::chrono::seconds duration) {
    const long long total = duration.count() < 0 ? 0 : duration.count();
    if (total < 60) {
        return std::to_string(total) + " s";
    }
    if (total < 3600) {
        const long long seconds = total % 60;
        return std::to_string(total / 60) + " min" +
               (seconds == 0 ? "" : " " + std::to_string(seconds) + " s");
    }
    const long long minutes = total / 60 % 60;
    return std::to_string(total / 3600) + " h" +
           (minutes == 0 ? "" : " " + std::to_string(minutes) + " min");
}

void RateMeter::Sample(std::chrono::milliseconds at, std::int64_t totalBytes) {
    if (!samples_.empty() && totalBytes < samples_.back().second) {
        samples_.clear();  // a new count began (a retried run)
    }
    samples_.emplace_back(at, totalBytes);
    while (samples_.size() > 2 && at - samples_[1].first >= kWindow) {
        samples_.pop_front();
    }
}

std::optional<double> RateMeter::BytesPerSecond() const {
    if (samples_.size() < 2) {
        return std::nullopt;
    }
    const auto span = samples_.back().first - samples_.front().first;
    if (span < std::chrono::milliseconds(250)) {
        return std::nullopt;
    }
    const auto bytes = static_cast<double>(samples_.back().second - samples_.front().second);
    return bytes * 1000.0 / static_cast<double>(span.count());
}

std::string TransferStatus(const control::ProgressSnapshot& progress,
                           std::optional<double> bytesPerSecond) {
    std::string file;
    if (progress.fileBytes > 0) {
        file = FormatBytesOf(progress.receivedBytes, progress.fileBytes);
        if (bytesPerSecond && *bytesPerSecond >= 1) {
            file += ", " + FormatBytes(static_cast<std::int64_t>(*bytesPerSecond)) + "/s";
            const double left =
                static_cast<double>(progress.fileBytes - progress.receivedBytes) / *bytesPerSecond;
            file +=
                ", " + FormatDuration(std::chrono::seconds(static_cast<long long>(left))) + " left";
        }
    }
    std::string run;
    if (progress.fileCount > 0 && progress.fileIndex > 0) {
        run = platform::StrPrintf("file %d of %d", progress.fileIndex, progress.fileCount);
        if (progress.runBytes > 0) {
            run += ", " +
                   FormatBytesOf(progress.runBytesDone + progress.receivedBytes, progress.runBytes);
        }
    }
    if (file.empty() || run.empty()) {
        return file + run;
    }
    return file + "; " + run;
}

std::string RetryStatus(int attempt, const control::FailureCause& cause,
                        std::chrono::milliseconds untilNext) {
    const std::string why = cause.text.empty() ? std::string("no reason was given") : cause.text;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        untilNext + std::chrono::milliseconds(999));
    return platform::StrPrintf("Attempt %d failed: %s. Trying again in %s.", attempt, why.c_str(),
                               FormatDuration(seconds).c_str());
}

std::string EndTitleText(const RunSummary& summary) {
    if (summary.complete) {
        return "Download Complete";
    }
    return summary.stopped ? "Download Stopped" : "Download Finished With Errors";
}

std::string FilesArrived(int count) {
    return std::to_string(count) + (count == 1 ? " file arrived" : " files arrived");
}

std::string OthersText(const RunSummary& summary) {
    std::string others;
    if (summary.filesSkipped > 0) {
        others += std::to_string(summary.filesSkipped) + " skipped";
    }
    if (summary.filesFailed > 0) {
        others += (others.empty() ? "" : ", ") + std::to_string(summary.filesFailed) + " failed";
    }
    return others.empty() ? others : " " + others + ".";
}

std::string EndStatusText(const RunSummary& summary) {
    std::string status = FilesArrived(summary.filesComplete);
    if (summary.bytes > 0) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(summary.elapsed);
        status += ", " + FormatBytes(summary.bytes) + " in " + FormatDuration(seconds);
    }
    return status + "." + OthersText(summary);
}

}  // namespace app
