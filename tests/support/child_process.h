#pragma once
// A program started as a child process, owned until it has ended and been
// reaped. Its standard input can come from a text or a file, its output can
// be captured (and read while it runs) or go to a file. A child still
// running when its owner goes is killed and reaped, so no test leaves a
// process behind. Tests only: the shipped program starts no processes.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace testing_support {

// Where one output stream of the child goes.
struct ChildOutput {
    enum class Kind { Capture, File, Inherit };
    Kind kind = Kind::Capture;
    std::string path;  // for File: created or truncated

    static ChildOutput Capture() { return {}; }
    static ChildOutput ToFile(std::string path) { return {Kind::File, std::move(path)}; }
    static ChildOutput Inherit() { return {Kind::Inherit, {}}; }
};

// Where the child's standard input comes from; by default it reads an
// immediate end of input.
struct ChildInput {
    enum class Kind { Empty, Text, File };
    Kind kind = Kind::Empty;
    std::string text;  // Text: the bytes; File: the path

    static ChildInput FromText(std::string text) { return {Kind::Text, std::move(text)}; }
    static ChildInput FromFile(std::string path) { return {Kind::File, std::move(path)}; }
};

struct ChildOptions {
    // The program and its arguments; a program name without '/' is looked
    // up in PATH.
    std::vector<std::string> argv;
    // Added to (or replacing in) the parent's environment.
    std::vector<std::pair<std::string, std::string>> environment;
    std::string workingDirectory;  // empty: the parent's
    ChildInput input;
    ChildOutput output;
    ChildOutput error;
};

// How a child ended: by exiting with a code, or by a signal.
struct ExitStatus {
    bool exited = false;
    int code = 0;    // when exited
    int signal = 0;  // when killed by a signal

    bool Succeeded() const { return exited && code == 0; }
    bool operator==(const ExitStatus&) const = default;
};

class ChildProcess {
  public:
    enum class Stream { Output, Error };

    ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills (SIGKILL) and reaps a child that is still running.
    ~ChildProcess();

    // Starts the program; fails when it cannot be spawned (for example a
    // program that does not exist) or a file cannot be opened.
    static platform::Result<ChildProcess> Start(const ChildOptions& options);

    bool IsStarted() const { return state_ != nullptr; }
    int Pid() const;

    // Waits for the end of the child and of its captured output.
    ExitStatus Wait();
    // Waits at most `timeout`; nothing when the child still runs.
    std::optional<ExitStatus> WaitFor(std::chrono::milliseconds timeout);
    // Sends a signal to a child that has not been reaped yet; fails with
    // ESRCH once it has.
    platform::Status Kill(int signal);

    // The captured output so far (all of it after Wait).
    std::string Captured(Stream stream) const;
    // Waits until the captured stream holds a complete line that begins with
    // `prefix` and returns that line without its line end; nothing when the
    // time runs out or the stream ends first.
    std::optional<std::string> WaitForLine(Stream stream, std::string_view prefix,
                                           std::chrono::milliseconds timeout);

  private:
    struct State;
    void Release();

    std::unique_ptr<State> state_;
};

}  // namespace testing_support
