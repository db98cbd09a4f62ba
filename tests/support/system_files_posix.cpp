#include "support/system_files.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace testing_support {

bool MakeLink(const std::string& target, const std::string& link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

int RefusedConnectionCode() {
    return ECONNREFUSED;
}

int ResetConnectionCode() {
    return ECONNRESET;
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

namespace {

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

}  // namespace

ScopedVariable::ScopedVariable(const char* name, const std::optional<std::string>& value)
    : name_(name) {
    if (const char* previous = std::getenv(name)) {
        previous_ = previous;
    }
    SetVariable(name_, value);
}

ScopedVariable::~ScopedVariable() {
    SetVariable(name_, previous_);
}

bool FileSizeLimit::Exists() {
    return true;
}

FileSizeLimit::FileSizeLimit(std::uint64_t limit) {
    previousHandler_ = reinterpret_cast<void*>(::signal(SIGXFSZ, SIG_IGN));
    rlimit current{};
    ::getrlimit(RLIMIT_FSIZE, &current);
    previous_ = current.rlim_cur;
    current.rlim_cur = static_cast<rlim_t>(limit);
    active_ = ::setrlimit(RLIMIT_FSIZE, &current) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    rlimit current{};
    ::getrlimit(RLIMIT_FSIZE, &current);
    current.rlim_cur = static_cast<rlim_t>(previous_);
    ::setrlimit(RLIMIT_FSIZE, &current);
    ::signal(SIGXFSZ, reinterpret_cast<sighandler_t>(previousHandler_));
}

}  // namespace testing_support
