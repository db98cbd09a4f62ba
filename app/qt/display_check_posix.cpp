#include "app/qt/display_check.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cerrno>
#include <csignal>
#include <vector>

namespace app::qt {
namespace {

constexpr int kStarted = 0;
constexpr int kAborted = 3;

// A descriptor closed when it goes out of scope.
class ScopedDescriptor {
  public:
    explicit ScopedDescriptor(int fd) : fd_(fd) {}
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    ~ScopedDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

// qFatal ends in abort(): the probe ends quietly instead, without a core
// dump or a crash report for a display that is merely missing.
extern "C" void EndAborted(int) {
    ::_exit(kAborted);
}

[[noreturn]] void Probe(int argc, char** argv) {
    const rlimit noCore{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &noCore);
    (void)std::signal(SIGABRT, EndAborted);
    // Qt's own complaints ("could not connect to display") would stand
    // beside the caller's note; the caller's is the one the user reads.
    {
        const ScopedDescriptor null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        if (null.get() >= 0) {
            (void)::dup2(null.get(), STDERR_FILENO);
            (void)::dup2(null.get(), STDOUT_FILENO);
        }
    }
    // QGuiApplication may take its own arguments (-platform, -display) out
    // of the list it is given; the caller's stays as it is.
    std::vector<char*> arguments(argv, argv + argc);
    arguments.push_back(nullptr);
    int count = argc;
    {
        QGuiApplication application(count, arguments.data());
        // Its destruction could still block on a dead connection: the
        // process ends right here.
        ::_exit(kStarted);
    }
}

}  // namespace

bool DisplayOpens(int argc, char** argv) {
    const pid_t child = ::fork();
    if (child < 0) {
        return true;  // cannot ask: let QApplication try, as it always did
    }
    if (child == 0) {
        Probe(argc, argv);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return true;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == kStarted;
}

}  // namespace app::qt
