#include "engine/file_finish.h"

#include "engine/file_decipher.h"
#include "engine/service_date.h"
#include "engine/zip_extractor.h"

namespace engine {
namespace {

namespace status = control::status;

void SetDate(FileJob& job, platform::File& file) {
    if (!job.context.block.useQvnDate.load()) {
        return;
    }
    platform::SysError error;
    if (!SetFileDateFromServer(file, job.entry.serverDate, &error)) {
        job.Error(" Set File Date to QVN date Failed %d %s\n", error.code, job.path.c_str());
    }
}

// Unpacks the received archive beside the target and puts the member in
// its place; a result ends the file. A broken archive never costs the
// earlier file.
std::optional<FileResult> Unpack(FileJob& job) {
    job.SetStatus(status::kUnpacking);
    ZipExtractor extractor;
    const FileSource archive(job.body->file());
    const std::optional<ZipMember> member = extractor.FirstMember(archive);
    auto free = job.place->folder.FreeBytes();
    if (member && free && member->declaredSize > *free) {
        job.Error(" Err - DownloadFile - Not Enough Disk Space %llu of %llu %s\n",
                  static_cast<unsigned long long>(*free),
                  static_cast<unsigned long long>(member->declaredSize), job.path.c_str());
        job.body->Discard();
        job.SetStatus(status::kNoSpace);
        return FileResult::LocalFailure;
    }
    auto created = CreateWorkFile(job.Work(), job.place->name, kUnpackSuffix);
    if (!created) {
        job.body->Discard();
        return job.LocalFailure("Unable to Create File", created.error());
    }
    WorkFile unpacked = std::move(*created);
    FileSink output(unpacked.file());
    const UnzipOutcome outcome = extractor.UnzipFirstEntry(archive, output);
    job.body->Discard();
    if (!outcome.ok()) {
        unpacked.Discard();
        if (outcome.failure == UnzipFailure::WriteFailed) {
            return job.LocalFailure("Unpacking Failed", outcome.writeError);
        }
        job.Error(" Err - DownloadFile - Unpacking Failed %s\n", job.path.c_str());
        job.SetStatus(status::kFailed);
        return FileResult::LocalFailure;
    }
    SetDate(job, unpacked.file());
    if (const platform::Status moved = unpacked.Install(job.place->name); !moved) {
        unpacked.Discard();
        return job.LocalFailure("Rename Failed", moved.error());
    }
    job.SetStatus(status::kDownloading);
    return std::nullopt;
}

}  // namespace

FileResult FinishFile(FileJob& job) {
    const DecipherRequest request{job.restart,
                                  false,
                                  job.enciphered,
                                  job.fang.plainSize,
                                  job.fang.keyIndex.value_or(0),
                                  job.context.state.localFileSize};
    if (!DecipherDownloadedFile(job.body->file(), request, job.context.config.keyTable)) {
        job.body->Discard();
        job.Error(" Err - DownloadFile - Decipher Failed %s\n", job.path.c_str());
        job.SetStatus(status::kFailed);
        return FileResult::LocalFailure;
    }
    if (job.fang.packed) {
        if (const std::optional<FileResult> ended = Unpack(job)) {
            return *ended;
        }
    } else {
        SetDate(job, job.body->file());
        // An atomic rename: the earlier target stays until the new one is
        // in place.
        if (const platform::Status moved = job.body->Install(job.place->name); !moved) {
            job.body->Discard();
            return job.LocalFailure("Rename Failed", moved.error());
        }
    }

    if (job.target) {
        job.Progress("  DownloadFile - File Update Successful \n");
    } else if (job.restart) {
        job.Progress("  DownloadFile - File Restart Successful \n");
    } else {
        job.Progress("  DownloadFile - File Download Successful \n");
    }
    job.DuplicateLine();
    return FileResult::Done;
}

}  // namespace engine
