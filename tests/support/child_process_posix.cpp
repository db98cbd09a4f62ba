#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace testing_support {

using platform::LastError;
using platform::Result;
using platform::Status;
using platform::SysError;

namespace {

// One descriptor, closed by its owner.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
};

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

Result<Pipe> MakePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return LastError();
    }
    return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

Result<UniqueFd> OpenForChild(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        return LastError();
    }
    return UniqueFd(fd);
}

// The parent's environment with the additions replacing variables of the
// same name.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& additions) {
    std::vector<std::string> result;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& [addName, value] : additions) {
            replaced = replaced || addName == name;
        }
        if (!replaced) {
            result.emplace_back(text);
        }
    }
    for (const auto& [name, value] : additions) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> PointerList(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Owners of the spawn attribute objects.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

constexpr std::chrono::milliseconds kReadSlice{100};

}  // namespace

struct ChildProcess::State {
    pid_t pid = -1;

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool reaped = false;
    ExitStatus status;
    std::array<std::string, 2> captured;
    std::array<bool, 2> ended{true, true};
    bool stopReading = false;

    std::thread reaper;
    std::array<std::thread, 2> readers;
    std::thread writer;

    bool Finished() const { return reaped && ended[0] && ended[1]; }

    void Reap() {
        siginfo_t info{};
        // Wait without reaping first, so that Kill never signals a process
        // id that the system may already have given to someone else.
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 &&
               errno == EINTR) {
        }
        std::lock_guard<std::mutex> lock(mutex);
        int raw = 0;
        while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(raw)) {
            status = ExitStatus{true, WEXITSTATUS(raw), 0};
        } else if (WIFSIGNALED(raw)) {
            status = ExitStatus{false, 0, WTERMSIG(raw)};
        }
        reaped = true;
        changed.notify_all();
    }

    void ReadStream(UniqueFd fd, std::size_t which) {
        std::array<char, 4096> buffer;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (stopReading) {
                    break;
                }
            }
            pollfd entry{fd.get(), POLLIN, 0};
            const int ready = ::poll(&entry, 1, static_cast<int>(kReadSlice.count()));
            if (ready == 0 || (ready < 0 && errno == EINTR)) {
                continue;
            }
            const ssize_t n = ready < 0 ? -1 : ::read(fd.get(), buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            std::lock_guard<std::mutex> lock(mutex);
            captured[which].append(buffer.data(), static_cast<std::size_t>(n));
            changed.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex);
        ended[which] = true;
        changed.notify_all();
    }

    static void WriteInput(UniqueFd fd, std::string text) {
        // A child that ends without reading everything breaks the pipe; the
        // write must then fail with EPIPE rather than kill this process.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        fd.Reset();
        if (done < text.size()) {
            // Consume the SIGPIPE that the failed write left pending.
            const timespec none{0, 0};
            sigtimedwait(&pipeSignal, nullptr, &none);
        }
    }
};

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Release();
        state_ = std::move(other.state_);
    }
    return *this;
}

ChildProcess::ChildProcess() = default;
ChildProcess::ChildProcess(ChildProcess&& other) noexcept = default;

ChildProcess::~ChildProcess() {
    Release();
}

void ChildProcess::Release() {
    if (!state_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!state_->reaped) {
            ::kill(state_->pid, SIGKILL);
        }
    }
    if (state_->reaper.joinable()) {
        state_->reaper.join();
    }
    {
        // A grandchild may still hold the output open; stop listening.
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopReading = true;
    }
    for (std::thread& reader : state_->readers) {
        if (reader.joinable()) {
            reader.join();
        }
    }
    if (state_->writer.joinable()) {
        state_->writer.join();
    }
    state_.reset();
}

Result<ChildProcess> ChildProcess::Start(const ChildOptions& options) {
    if (options.argv.empty() || options.argv[0].empty()) {
        return SysError{EINVAL};
    }
    SpawnActions actions;
    SpawnAttributes attributes;

    UniqueFd inputFd;
    UniqueFd inputWriteEnd;
    switch (options.input.kind) {
        case ChildInput::Kind::Empty: {
            auto opened = OpenForChild("/dev/null", O_RDONLY);
            if (!opened) {
                return opened.error();
            }
            inputFd = std::move(*opened);
            break;
        }
        case ChildInput::Kind::File: {
            auto opened = OpenForChild(options.input.text, O_RDONLY);
            if (!opened) {
                return opened.error();
            }
            inputFd = std::move(*opened);
            break;
        }
        case ChildInput::Kind::Text: {
            auto pipe = MakePipe();
            if (!pipe) {
                return pipe.error();
            }
            inputFd = std::move(pipe->read);
            inputWriteEnd = std::move(pipe->write);
            break;
        }
    }
    posix_spawn_file_actions_adddup2(&actions.actions, inputFd.get(), STDIN_FILENO);

    std::array<UniqueFd, 2> childEnds;
    std::array<UniqueFd, 2> parentEnds;
    const std::array<const ChildOutput*, 2> outputs{&options.output, &options.error};
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const int target = i == 0 ? STDOUT_FILENO : STDERR_FILENO;
        switch (outputs[i]->kind) {
            case ChildOutput::Kind::Inherit:
                continue;
            case ChildOutput::Kind::File: {
                auto opened = OpenForChild(outputs[i]->path, O_WRONLY | O_CREAT | O_TRUNC);
                if (!opened) {
                    return opened.error();
                }
                childEnds[i] = std::move(*opened);
                break;
            }
            case ChildOutput::Kind::Capture: {
                auto pipe = MakePipe();
                if (!pipe) {
                    return pipe.error();
                }
                childEnds[i] = std::move(pipe->write);
                parentEnds[i] = std::move(pipe->read);
                break;
            }
        }
        posix_spawn_file_actions_adddup2(&actions.actions, childEnds[i].get(), target);
    }
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions.actions, options.workingDirectory.c_str());
    }

    // The child starts with no blocked signals and the usual dispositions,
    // whatever this process has blocked or ignored.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
    posix_spawnattr_setflags(&attributes.attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> arguments = options.argv;
    std::vector<char*> argv = PointerList(arguments);
    std::vector<std::string> environment = ChildEnvironment(options.environment);
    std::vector<char*> envp = PointerList(environment);

    pid_t pid = -1;
    const bool searchPath = options.argv[0].find('/') == std::string::npos;
    const int rc = searchPath ? ::posix_spawnp(&pid, argv[0], &actions.actions,
                                               &attributes.attributes, argv.data(), envp.data())
                              : ::posix_spawn(&pid, argv[0], &actions.actions,
                                              &attributes.attributes, argv.data(), envp.data());
    if (rc != 0) {
        return SysError{rc};
    }
    inputFd.Reset();
    for (UniqueFd& end : childEnds) {
        end.Reset();
    }

    ChildProcess child;
    child.state_ = std::make_unique<State>();
    State* state = child.state_.get();
    state->pid = pid;
    for (std::size_t i = 0; i < parentEnds.size(); ++i) {
        if (parentEnds[i].valid()) {
            state->ended[i] = false;
            state->readers[i] = std::thread(&State::ReadStream, state, std::move(parentEnds[i]), i);
        }
    }
    if (inputWriteEnd.valid()) {
        state->writer =
            std::thread(&State::WriteInput, std::move(inputWriteEnd), options.input.text);
    }
    state->reaper = std::thread(&State::Reap, state);
    return child;
}

int ChildProcess::Pid() const {
    return state_ ? state_->pid : -1;
}

ExitStatus ChildProcess::Wait() {
    if (!state_) {
        return {};
    }
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [&] { return state_->Finished(); });
    return state_->status;
}

std::optional<ExitStatus> ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
    if (!state_) {
        return std::nullopt;
    }
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->changed.wait_for(lock, timeout, [&] { return state_->Finished(); })) {
        return std::nullopt;
    }
    return state_->status;
}

Status ChildProcess::Kill(int signal) {
    if (!state_) {
        return SysError{ESRCH};
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->reaped) {
        return SysError{ESRCH};
    }
    if (::kill(state_->pid, signal) != 0) {
        return LastError();
    }
    return Status::Ok();
}

std::string ChildProcess::Captured(Stream stream) const {
    if (!state_) {
        return {};
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->captured[stream == Stream::Output ? 0 : 1];
}

std::optional<std::string> ChildProcess::WaitForLine(Stream stream, std::string_view prefix,
                                                     std::chrono::milliseconds timeout) {
    if (!state_) {
        return std::nullopt;
    }
    const std::size_t which = stream == Stream::Output ? 0 : 1;
    std::optional<std::string> found;
    auto scan = [&] {
        const std::string& text = state_->captured[which];
        std::size_t start = 0;
        for (std::size_t end = text.find('\n'); end != std::string::npos;
             start = end + 1, end = text.find('\n', start)) {
            std::string_view line(text.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            if (line.substr(0, prefix.size()) == prefix) {
                found = std::string(line);
                return true;
            }
        }
        return state_->ended[which];
    };
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait_for(lock, timeout, scan);
    return found;
}

}  // namespace testing_support
