#include "engine/result_note.h"

#include <string>

#include "platform/path.h"
#include "platform/strings.h"

namespace engine {
namespace {

// The name the communication paragraph gives the interrupted job; the
// results file's own stem is empty in this program.
std::string JobName(const control::ActivityLog& log) {
    return log.ResultsName().empty() ? std::string("download") : log.ResultsName();
}

}  // namespace

void WriteResultNote(control::ActivityLog& log, bool& commNoteWritten, std::string_view name,
                     NoteKind kind, bool reportNotFound, platform::SysError error) {
    if (kind == NoteKind::CommFailure) {
        if (log.ResultsOpen() && !commNoteWritten) {
            const std::string job = JobName(log);
            log.WriteResults(
                "\r\n\r\nThe " + job +
                " was terminated due to a problem communicating with the Quorvane "
                "servers.\r\n\r\nThe problem may be with your PC or Internet connection, or a "
                "temporary problem related to the Quorvane servers.\r\n\r\nRunning the " +
                job +
                " again will often resolve the problem. If the problem persists contact Quorvane "
                "Support.\r\n");
        }
        if (log.ResultsOpen() && !name.empty()) {
            log.WriteResults(
                platform::StrPrintf("Comm Request/File %s\r\n", std::string(name).c_str()));
        }
        commNoteWritten = true;
        return;
    }

    if (error.NotFound() && !reportNotFound) {
        return;
    }
    if (!log.ResultsOpen()) {
        return;
    }
    const std::string file(platform::FileNamePart(name));
    const std::optional<std::string_view> folder = platform::FolderPart(name);
    std::string note = platform::StrPrintf("\r\n%s\r\n", file.c_str());
    if (folder && !folder->empty()) {
        note += platform::StrPrintf("   in folder: %s\r\n", std::string(*folder).c_str());
    } else {
        note += "   in folder: \\\r\n";
    }
    if (error.SharingViolation()) {
        note += "   could not be opened\r\n";
    } else {
        note += platform::StrPrintf("   %s\r\n", error.Message().c_str());
    }
    log.WriteResults(note);
}

}  // namespace engine
