#pragma once
// What tests need of the system beyond the platform layer: links, FIFOs,
// the environment and the file size limit. Not every system has each: the
// makers say whether they made one, and a test that needs it skips with
// its reason where it could not be made.

#include <cstdint>
#include <optional>
#include <string>

namespace testing_support {

// A link at `link` to `target` (which need not exist): a symbolic link on
// POSIX systems; on Windows a junction for an existing folder, else a
// symbolic link (which needs the developer mode or a privilege there).
// False when the system made none (Wine makes neither).
bool MakeLink(const std::string& target, const std::string& link);

// Removes a folder and everything below it, links themselves rather than
// what they lead to, also beyond Windows' old path length limit (which
// std::filesystem keeps to with MinGW-w64). Quietly leaves what it cannot
// remove.
void RemoveTree(const std::string& path);

// A FIFO at `path`; false where the file system has none (Windows).
bool MakeFifo(const std::string& path);

// The numbers this system's sockets give for a refused connection and for
// one reset by its peer (errno's on POSIX systems, Winsock's on Windows).
int RefusedConnectionCode();
int ResetConnectionCode();

// Whether a connection that one side aborts (TcpSocket::Abort) reaches the
// other as a reset, found out on a loopback pair; Wine delivers an orderly
// end instead.
bool AbortReachesThePeerAsReset();

// Sets (or, for nothing, removes) an environment variable of this process
// for one scope, and puts the earlier value back.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<std::string>& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Files this process writes may grow to `limit` bytes while the object
// lives; a write beyond fails (EFBIG), as on a full disk. Active() is
// false where the system has no such limit (Windows).
class FileSizeLimit {
  public:
    // Whether this system has such a limit at all.
    static bool Exists();
    explicit FileSizeLimit(std::uint64_t limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

  private:
    bool active_ = false;
    std::uint64_t previous_ = 0;
    void* previousHandler_ = nullptr;
};

}  // namespace testing_support
