#pragma once
// Where the protocol layers write their activity-log lines. The activity log
// (control) implements it; the layers below it see only this interface.

#include <string_view>

#include "platform/strings.h"

namespace net {

enum class LineKind {
    Progress,         // written when flag bit value 1 is set
    Error,            // bit value 1 or 2: the " Err - " lines
    ErrorLine,        // any flag set: lines written through WriteErrorLine
    ControllerTrace,  // bit value 4: the controller's CALLMEMBER lines
    OperationTrace,   // bit value 8: the engine's operation trace lines
};

class LogSink {
  public:
    virtual ~LogSink() = default;
    // Whether a line of this kind would be written now (the log is open and
    // its flag passes); lets callers skip formatting.
    virtual bool Wants(LineKind kind) const = 0;
    // Writes one complete line and flushes it, atomically with respect to
    // other writers.
    virtual void Write(LineKind kind, std::string_view line) = 0;
};

// A sink that writes nothing, for code run without a log.
class NullLogSink final : public LogSink {
  public:
    bool Wants(LineKind) const override { return false; }
    void Write(LineKind, std::string_view) override {}
};

}  // namespace net

namespace net {

// Formats and writes a line only when the sink wants its kind.
template <typename... Args>
void Logf(LogSink& sink, LineKind kind, const char* format, Args... args) {
    if (!sink.Wants(kind)) {
        return;
    }
    if constexpr (sizeof...(Args) == 0) {
        // A line without arguments has no conversions: it is written as it
        // is, and a format that is no literal is never handed to printf.
        sink.Write(kind, format);
    } else {
        sink.Write(kind, platform::StrPrintf(format, args...));
    }
}

}  // namespace net
