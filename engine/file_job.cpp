#include "engine/file_job.h"

namespace engine {

namespace status = control::status;

std::int32_t StatusForLocalError(const platform::SysError& error) {
    if (error.NoSpace()) {
        return status::kNoSpace;
    }
    if (error.TooLarge()) {
        return status::kTooLarge;
    }
    if (error.AccessDenied()) {
        return status::kAccessDenied;
    }
    if (error.WrongKind() || error.NameRefused()) {
        return status::kRefusedName;
    }
    return status::kFailed;
}

void FileJob::SetStatus(std::int32_t value) {
    context.Publish([&](control::LiveProgress& p, std::string&) { p.status = value; });
}

void FileJob::DuplicateLine() {
    if (entry.duplicateCount > 0) {
        Progress("  --DownloadFile Duplicate File Count %d\n", entry.duplicateCount);
    }
}

// The cause of a file's local failure, in words.
std::string LocalCause(std::int32_t status) {
    switch (status) {
        case status::kNoSpace:
            return "no space left on the disk";
        case status::kTooLarge:
            return "the file is larger than the disk takes";
        case status::kAccessDenied:
            return "the folder may not be written";
        case status::kRefusedName:
            return "a name the folder cannot hold";
        default:
            return "the file could not be stored";
    }
}

FileResult FileJob::LocalFailure(const char* what, const platform::SysError& error) {
    Error(" Err - DownloadFile - %s %d %s\n", what, error.code, path.c_str());
    const std::int32_t status = StatusForLocalError(error);
    SetStatus(status);
    context.NoteFailure(control::FailureCause::Kind::Local, LocalCause(status));
    return status == status::kRefusedName ? FileResult::Done : FileResult::LocalFailure;
}

}  // namespace engine
