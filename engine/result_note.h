#pragma once
// Explanations of failed transfers for the user, appended to the results
// work file beside the activity log.

#include <string_view>

#include "control/activity_log.h"
#include "platform/error.h"

namespace engine {

enum class NoteKind {
    OpenFailure,  // a local file could not be opened
    CommFailure,  // the service could not be reached or broke off
};

// Writes the note for `name` (a request word or a full local path).
// `commNoteWritten` remembers that the communication paragraph was written
// (or would have been, had the results file been open) for this run.
void WriteResultNote(control::ActivityLog& log, bool& commNoteWritten, std::string_view name,
                     NoteKind kind, bool reportNotFound, platform::SysError error);

}  // namespace engine
