#pragma once
// What the parts of one file's download share: the file's entry, path and
// place, its work files, what the reply said, and the ways a part reports
// on the file (log lines, its status, a failure found here). The parts:
// the local copy (local_copy.h), the exchange (exchange.h), the work files
// (work_file.h), the body (body_receiver.h) and the finish (file_finish.h);
// file_download.cpp runs them in order.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/engine_context.h"
#include "engine/local_place.h"
#include "engine/work_file.h"
#include "net/reply_header.h"

namespace engine {

// How one file ended.
enum class FileResult {
    Done,          // fetched, kept, refused by the service or passed over
    Incomplete,    // cut short on the way: the run must not count as done
    LocalFailure,  // cannot be stored here; fetching again would not help
    Failed,        // the operation failed (retried once when communication broke)
};

struct FileJob {
    FileJob(EngineContext& contextIn, const KeyFileEntry& entryIn, std::string pathIn)
        : context(contextIn), entry(entryIn), path(std::move(pathIn)) {}

    template <typename... Args>
    void Progress(const char* format, Args... args) {
        net::Logf(context.log(), net::LineKind::Progress, format, args...);
    }
    template <typename... Args>
    void Error(const char* format, Args... args) {
        net::Logf(context.log(), net::LineKind::Error, format, args...);
    }
    void SetStatus(std::int32_t value);
    // The progress line of a file with duplicates at the service.
    void DuplicateLine();
    // Ends the file for a reason found here: its status says which, and
    // the earlier copy stays. A name the file system refuses, or that
    // something other than a file has, is skipped rather than failed.
    FileResult LocalFailure(const char* what, const platform::SysError& error);
    WorkPlace Work() { return WorkPlace{place->folder, place->folderPath, context.ledger}; }

    EngineContext& context;
    const KeyFileEntry& entry;
    const std::string path;
    // The target's folder and name; none while a folder on the way is
    // still to be made.
    std::optional<LocalPlace> place;
    std::optional<platform::EntryInfo> target;  // what has the target's name
    // An earlier run's partial body, locked: continued, started again or
    // found complete.
    std::optional<WorkFile> leftover;
    std::optional<WorkFile> body;
    // The request offers to take the file packed (the run's switch, unless
    // a partial body is continued).
    bool compress = false;
    // From the reply.
    bool restart = false;
    net::FangValues fang;
    bool enciphered = false;
};

// The final status of a file that could not be stored for this reason.
std::int32_t StatusForLocalError(const platform::SysError& error);
// The words for such a status ("no space left on the disk").
std::string LocalCause(std::int32_t status);

}  // namespace engine
