#include "engine/file_download.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/body_receiver.h"
#include "engine/exchange.h"
#include "engine/file_decipher.h"
#include "engine/file_finish.h"
#include "engine/file_job.h"
#include "engine/key_operations.h"
#include "engine/local_copy.h"
#include "engine/zip_extractor.h"
#include "net/request_builder.h"
#include "platform/strings.h"

namespace engine {
namespace {

using net::LineKind;
namespace status = control::status;

// A continued target is copied into the work file this much at a time.
constexpr std::size_t kCopyBlock = 1024 * 1024;

// A file's handling starts: its number, nothing received yet.
void StartFile(control::LiveProgress& p, std::int32_t status) {
    p.fileIndex += 1;
    p.compressed = false;
    p.doneK = 0;
    p.fileSizeK = 0;
    p.fileBytes = 0;
    p.receivedBytes = 0;
    p.hasFilePath = true;
    p.status = status;
}

std::int32_t KilobytesOf(std::int64_t bytes) {
    const std::int64_t k = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return static_cast<std::int32_t>(std::min<std::int64_t>(k, INT32_MAX));
}

// Appends the whole of `from` to `to`.
platform::Status CopyInto(const platform::File& from, platform::File& to) {
    std::vector<std::uint8_t> block(kCopyBlock);
    for (std::uint64_t offset = 0;;) {
        auto got = from.ReadAt(block.data(), block.size(), offset);
        if (!got) {
            return got.error();
        }
        if (*got == 0) {
            return platform::Status::Ok();
        }
        if (auto written = to.WriteAll(block.data(), *got); !written) {
            return written;
        }
        offset += *got;
    }
}

class FileDownload {
  public:
    FileDownload(EngineContext& context, const KeyFileEntry& entry, std::string path,
                 const platform::Folder& destination)
        : job_(context, entry, std::move(path)), c_(context), destination_(destination) {}

    FileResult Run();

  private:
    std::optional<FileResult> LookAtDestination();
    std::optional<FileResult> TakeLeftovers();
    std::optional<FileResult> Examine();
    std::optional<FileResult> Judge(const net::ReplyHeaders& headers);
    FileResult ReceiveBody(const net::ReplyHeaders& headers);
    bool UsableLength(const net::ReplyHeaders& headers);
    std::optional<FileResult> OpenBodyFile(std::int64_t length);
    FileResult Received(const BodyReceipt& receipt);

    FileJob job_;
    EngineContext& c_;
    const platform::Folder& destination_;
    std::string restartDescription_;
};

// Finds the target's folder and what lies there; a result ends the file.
std::optional<FileResult> FileDownload::LookAtDestination() {
    auto place = PlaceUnder(destination_, *c_.block.localDirectory, job_.entry.relativeName,
                            MissingFolders::Fail);
    if (!place) {
        if (place.error().NotFound() && !place.error().WrongKind()) {
            return std::nullopt;  // a folder on the way is still to be made
        }
        return job_.LocalFailure("Unusable Folder", place.error());
    }
    job_.place = std::move(*place);
    if (auto target = job_.place->folder.Inspect(job_.place->name)) {
        if (target->kind != platform::EntryKind::Regular) {
            // A link, folder, FIFO or device: never replaced or followed.
            job_.Error(" Err - DownloadFile - Not a File %s\n", job_.path.c_str());
            job_.SetStatus(status::kRefusedName);
            return FileResult::Done;
        }
        job_.target = *target;
    } else if (!target.error().NotFound()) {
        return job_.LocalFailure("Unusable File", target.error());
    }
    if (job_.target && c_.state.testedPaths && c_.state.testedPaths->count(job_.path) == 0) {
        // The person was asked about the files of the first list only:
        // a file that only the second names is theirs to keep.
        job_.Progress("  DownloadFile not asked to replace %s\n", job_.path.c_str());
        job_.SetStatus(status::kKept);
        return FileResult::Done;
    }
    return TakeLeftovers();
}

// An earlier run's work files: in use by another run, or this one's to
// continue or remove.
std::optional<FileResult> FileDownload::TakeLeftovers() {
    LeftoverSearch unpacking = FindLeftover(job_.Work(), job_.place->name, kUnpackSuffix);
    LeftoverSearch partial = FindLeftover(job_.Work(), job_.place->name, kPartialSuffix);
    if (unpacking.inUse || partial.inUse) {
        job_.Progress("  DownloadFile in use by another download %s\n", job_.path.c_str());
        job_.SetStatus(status::kInUse);
        return FileResult::Done;
    }
    if (unpacking.leftover) {
        unpacking.leftover->Discard();  // a member whose unpacking was cut short
    }
    if (partial.leftover) {
        // A body the service would not pack can be continued: this one file
        // is asked for unpacked. Any other leftover goes, and one that may
        // hold anything (cut short before it was made whole) too.
        const bool unpacked = !job_.compress || !IsCompressible(job_.path, 0);
        if (partial.leftover->resumable() && unpacked) {
            job_.compress = false;
            job_.leftover.emplace(std::move(*partial.leftover));
        } else {
            partial.leftover->Discard();
        }
    }
    return std::nullopt;
}

// Describes the local copy to come (the leftover, else the target); a
// result ends the file.
std::optional<FileResult> FileDownload::Examine() {
    std::optional<platform::File> opened;
    if (!job_.leftover && job_.target) {
        auto file = job_.place->folder.OpenFile(job_.place->name, platform::FileAccess::ReadShared);
        if (!file) {
            if (file.error().NotFound()) {
                return std::nullopt;
            }
            c_.Publish([](control::LiveProgress& p, std::string&) { p.hasFilePath = false; });
            job_.Error(" DownloadFile CreateFile Failed %d %s\n", file.error().code,
                       job_.path.c_str());
            c_.Note(job_.path, NoteKind::OpenFailure, false, file.error());
            // Passed over, but not fetched: the run must not end as if it
            // had been.
            job_.SetStatus(status::kFailed);
            return FileResult::LocalFailure;
        }
        opened = std::move(*file);
    }
    const platform::File* copy = job_.leftover ? &job_.leftover->file()
                                 : opened      ? &*opened
                                               : nullptr;
    if (copy == nullptr || !c_.block.verification.load()) {
        return std::nullopt;
    }
    LocalCopy facts{!job_.leftover, job_.entry.serverDate, c_.state.currentFileId,
                    job_.target ? std::optional(job_.target->lastWrite) : std::nullopt};
    const CopyExamination examination = ExamineCopy(*copy, facts);
    c_.state.localFileSize = examination.size;
    using Verdict = CopyExamination::Verdict;
    switch (examination.verdict) {
        case Verdict::KeptSame:
        case Verdict::KeptNewer:
            job_.Progress(examination.verdict == Verdict::KeptSame
                              ? "  DownloadFile verify Date match %s\n"
                              : "  DownloadFile verify Server Date Older %s\n",
                          job_.path.c_str());
            job_.SetStatus(status::kKept);
            return FileResult::Done;
        case Verdict::Unreadable:
            job_.Error(" Err - DownloadFile - Local Copy Unreadable %s\n", job_.path.c_str());
            job_.SetStatus(status::kFailed);
            return FileResult::LocalFailure;
        case Verdict::Described:
            restartDescription_ = examination.description;
            return std::nullopt;
        case Verdict::Nothing:
            return std::nullopt;
    }
    return std::nullopt;
}

FileResult FileDownload::Run() {
    c_.Publish([](control::LiveProgress& p, std::string&) { StartFile(p, status::kDownloading); });
    c_.state.localFileSize = 0;
    job_.compress = c_.block.transferCompress.load();
    job_.Progress(" DownloadFile Processing file %s\n", job_.path.c_str());
    if (const std::optional<FileResult> ended = LookAtDestination()) {
        return *ended;
    }
    if (const std::optional<FileResult> ended = Examine()) {
        return *ended;
    }

    net::ServerLink& link = c_.link;
    ExchangeRequest request;
    request.asker = Asker::Download;
    request.name = job_.path;
    request.build = [&](const std::string& credentials) {
        net::FangRequest fang;
        fang.timeModulo = c_.block.clock.NowSeconds() % 1025;
        fang.timeBits = c_.block.clock.NowSeconds() & 0xFFF;
        fang.transferCompress = job_.compress;
        return net::DownloadRequestText(link.currentHost(), credentials, c_.state.currentFileId,
                                        restartDescription_, fang);
    };
    request.beforeSend = [&] {
        if (job_.compress) {
            link.UseLongTimeout();
            if (IsCompressible(job_.path, 0)) {
                c_.Publish([](control::LiveProgress& p, std::string&) { p.compressed = true; });
            }
        }
    };
    const ExchangeResult reply = Exchange(c_, request);
    if (!reply.ok()) {
        return FileResult::Failed;
    }
    if (const std::optional<FileResult> ended = Judge(reply.headers)) {
        return *ended;
    }
    const FileResult result =
        reply.headers.contentLength ? ReceiveBody(reply.headers) : FileResult::Done;
    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    return result;
}

// What the reply says of the file before its body; a result ends it.
std::optional<FileResult> FileDownload::Judge(const net::ReplyHeaders& headers) {
    if (headers.conclusion && *headers.conclusion == "UGOTIT") {
        job_.SetStatus(status::kKept);
        if (job_.leftover) {
            // The partial copy was complete after all.
            (void)job_.leftover->Install(job_.place->name);
        }
        job_.Progress("  DownloadFile verify match %s\n", job_.path.c_str());
        job_.DuplicateLine();
    } else if (headers.conclusion &&
               platform::EqualsNoCase(*headers.conclusion, "maximum downloads exceeded")) {
        job_.SetStatus(status::kMaximumDownloads);
        job_.Progress("  DownloadFile maximum downloads exceeded %s\n", job_.path.c_str());
    }
    net::ServerLink& link = c_.link;
    if (!link.connectionOpen() && !link.Connect()) {
        return FileResult::Failed;
    }
    if (job_.compress) {
        link.UseNormalTimeout();
    }
    if (headers.restart) {
        job_.restart = true;
        job_.SetStatus(status::kContinued);
    }
    if (headers.fang) {
        job_.fang = *headers.fang;
    }
    job_.enciphered = (c_.state.payloadFlags & 1u) != 0;
    c_.state.replyBody.reset();
    return std::nullopt;
}

// A length the body can be received with, and for an enciphered one the
// values deciphering needs.
bool FileDownload::UsableLength(const net::ReplyHeaders& headers) {
    const std::int64_t length = *headers.contentLength;
    if (!headers.contentLengthIsNumber || length < 0) {
        job_.Error(" Err - DownloadFile - Bad Content-Length %s\n", job_.path.c_str());
        return false;
    }
    if (job_.enciphered) {
        // The plain size can never exceed what the file will hold: the
        // body and a continued copy. The length may be as large as a
        // number gets, so their sum is never formed.
        const std::int64_t local = job_.restart ? c_.state.localFileSize : 0;
        const net::FangValues& fang = job_.fang;
        if (!headers.fang || !fang.keyIndex || fang.plainSize < 0 ||
            (fang.plainSize > length && fang.plainSize - length > local)) {
            job_.Error(" Err - DownloadFile - Unusable X-QVN-Fang %s\n", job_.path.c_str());
            return false;
        }
    }
    return true;
}

// Opens the file the body goes into; a result ends the file (the body is
// then left unread).
std::optional<FileResult> FileDownload::OpenBodyFile(std::int64_t length) {
    if (!job_.place) {
        auto made = PlaceUnder(destination_, *c_.block.localDirectory, job_.entry.relativeName,
                               MissingFolders::Make);
        if (!made) {
            return job_.LocalFailure("Unable to Create Folder", made.error());
        }
        job_.place = std::move(*made);
    }
    // A continued target is copied before the body follows it.
    const bool copyTarget = job_.restart && !job_.leftover;
    const std::uint64_t needed =
        static_cast<std::uint64_t>(length) + (copyTarget && job_.target ? job_.target->size : 0);
    if (auto free = job_.place->folder.FreeBytes(); free && needed > *free) {
        job_.Error(" Err - DownloadFile - Not Enough Disk Space %llu of %llu %s\n",
                   static_cast<unsigned long long>(*free), static_cast<unsigned long long>(needed),
                   job_.path.c_str());
        job_.SetStatus(status::kNoSpace);
        c_.NoteFailure(control::FailureCause::Kind::Local, LocalCause(status::kNoSpace));
        return FileResult::LocalFailure;
    }
    if (job_.leftover) {
        // The earlier run's partial body: continued, or started again.
        job_.body.emplace(std::move(*job_.leftover));
        job_.leftover.reset();
        // Until it is whole to its last unit again, a body that arrives
        // enciphered cannot be continued.
        job_.body->SetResumable(!job_.enciphered);
        platform::File& file = job_.body->file();
        const platform::Status positioned = job_.restart ? file.SeekToEnd() : file.Truncate(0);
        return positioned
                   ? std::nullopt
                   : std::optional(job_.LocalFailure("Unable to Create File", positioned.error()));
    }
    if (job_.restart && !job_.target) {
        // Nothing was described that the body could continue.
        job_.Error(" Err - DownloadFile - Nothing to Continue %s\n", job_.path.c_str());
        c_.NoteFailure(control::FailureCause::Kind::BrokenReply,
                       "a reply from " + c_.CurrentServerName() + " that continues nothing");
        return FileResult::Failed;
    }
    auto created = CreateWorkFile(job_.Work(), job_.place->name, kPartialSuffix);
    if (!created) {
        return job_.LocalFailure("Unable to Create File", created.error());
    }
    job_.body.emplace(std::move(*created));
    // A plain body is a prefix of the file whenever it ends; an enciphered
    // one only once it is deciphered to its last whole unit.
    job_.body->SetResumable(!job_.enciphered);
    if (copyTarget) {
        auto target =
            job_.place->folder.OpenFile(job_.place->name, platform::FileAccess::ReadShared);
        const platform::Status copied =
            target ? CopyInto(*target, job_.body->file()) : platform::Status(target.error());
        if (!copied) {
            job_.body->Discard();
            return job_.LocalFailure("CopyFile Failed", copied.error());
        }
    }
    return std::nullopt;
}

FileResult FileDownload::ReceiveBody(const net::ReplyHeaders& headers) {
    net::ServerLink& link = c_.link;
    const std::int64_t length = *headers.contentLength;
    if (!UsableLength(headers)) {
        c_.NoteFailure(control::FailureCause::Kind::BrokenReply,
                       "an unusable reply from " + c_.CurrentServerName());
        link.Disconnect();
        return FileResult::Failed;
    }
    if (const std::optional<FileResult> ended = OpenBodyFile(length)) {
        link.Disconnect();  // the body is left unread
        return *ended;
    }
    c_.Publish([&](control::LiveProgress& p, std::string&) {
        p.fileSizeK = KilobytesOf(length);
        p.doneK = 0;
        p.compressed = job_.fang.packed;
        p.fileBytes = length;
        p.receivedBytes = 0;
    });
    FileSink sink(job_.body->file());
    const BodyReceipt receipt = engine::ReceiveBody(
        [&](void* buffer, std::size_t capacity) { return link.Receive(buffer, capacity); }, length,
        sink, net::ServerConnection::kReadAheadSize,
        [&](std::int64_t received) {
            c_.Publish([&](control::LiveProgress& p, std::string&) {
                // Whole kilobytes while it runs; the last one counts when
                // the body is complete.
                p.doneK = received == length ? KilobytesOf(received)
                                             : static_cast<std::int32_t>(std::min<std::int64_t>(
                                                   received / 1024, INT32_MAX));
                p.receivedBytes = received;
            });
            c_.NotifyProgress();
        });
    return Received(receipt);
}

// What follows the body's end.
FileResult FileDownload::Received(const BodyReceipt& receipt) {
    net::ServerLink& link = c_.link;
    const bool stopped = c_.StopRequested() && receipt.end != BodyReceipt::End::Whole &&
                         receipt.end != BodyReceipt::End::WriteFailed;
    switch (stopped ? BodyReceipt::End::CutShort : receipt.end) {
        case BodyReceipt::End::Whole:
            return FinishFile(job_);
        case BodyReceipt::End::WriteFailed:
            // What was written is of no use: the file can never be whole
            // this way. The earlier copy stays.
            job_.body->Discard();
            link.Disconnect();
            return job_.LocalFailure("Write Failed", receipt.writeError);
        case BodyReceipt::End::ReceiveFailed:
            WriteErrorLine(c_, "Err - %s - Error Receiving data from server\n", job_.path.c_str());
            c_.NoteConnectionFailure(false);
            link.Disconnect();
            link.SetCommFailed();
            link.MarkCurrentServerFailed();
            return FileResult::Failed;
        case BodyReceipt::End::CutShort:
            break;
    }
    // Cut short (or stopped): the partial file stays for a later run to
    // continue, cut back to whole cipher units when enciphered. The file
    // is not complete, whatever else happens.
    const DecipherRequest request{job_.restart,
                                  true,
                                  job_.enciphered,
                                  job_.fang.plainSize,
                                  job_.fang.keyIndex.value_or(0),
                                  c_.state.localFileSize};
    platform::File& file = job_.body->file();
    (void)DecipherDownloadedFile(file, request, c_.config.keyTable);
    if (auto size = file.Size(); size && *size == 0) {
        job_.body->Discard();
    } else {
        job_.body->SetResumable(true);
    }
    WriteErrorLine(c_, "Err - %s - Error Receiving data from server\n", job_.path.c_str());
    c_.NoteConnectionFailure(true);
    link.Disconnect();
    job_.SetStatus(status::kIncomplete);
    return FileResult::Incomplete;
}

// The dialog shows each file's final line before the next file starts.
void WaitForAcknowledgement(EngineContext& context) {
    if (!context.block.syncFileAccess.load()) {
        return;
    }
    context.Publish([](control::LiveProgress& p, std::string&) { p.fileFinished = true; });
    context.block.Notify();
    context.block.ackEvent.Wait();
    context.Publish([](control::LiveProgress& p, std::string&) { p.fileFinished = false; });
}

// Shows an entry that is never fetched, and passes it over.
void RefuseEntry(EngineContext& context, const KeyFileEntry& entry,
                 const std::optional<std::string>& path) {
    context.Publish([&](control::LiveProgress& p, std::string& currentPath) {
        currentPath = path ? *path : entry.relativeName;
        StartFile(p, status::kRefusedName);
    });
    if (path) {
        net::Logf(context.log(), LineKind::Error,
                  " Err - DownloadFile - Name taken by another listed file %s\n", path->c_str());
    } else {
        net::Logf(context.log(), LineKind::Error, " Err - DownloadFile - Refused name %s\n",
                  entry.relativeName.c_str());
    }
    WaitForAcknowledgement(context);
}

// Once the dialog has counted a file, its listed size moves into the run's
// total and its own figures go: the two are never added together.
void AddToRunTotal(EngineContext& context, const KeyFileEntry& entry) {
    context.Publish([&](control::LiveProgress& p, std::string&) {
        p.runBytesDone += std::max<std::int64_t>(entry.numberA, 0);
        p.fileBytes = 0;
        p.receivedBytes = 0;
    });
}

// One listed file, with its second attempt when communication broke.
FileResult DownloadEntry(EngineContext& context, const KeyFileEntry& entry, const std::string& path,
                         const platform::Result<platform::Folder>& destination) {
    if (!destination) {
        net::Logf(context.log(), LineKind::Error,
                  " Err - DownloadFile - Destination Unusable %d %s\n", destination.error().code,
                  path.c_str());
        context.Publish([&](control::LiveProgress& p, std::string&) {
            StartFile(p, StatusForLocalError(destination.error()));
        });
        return FileResult::LocalFailure;
    }
    context.link.ClearCommFailed();
    FileResult result = FileDownload(context, entry, path, *destination).Run();
    if (result == FileResult::Failed && context.link.commFailed()) {
        // The second attempt shows the same file number.
        context.Publish([](control::LiveProgress& p, std::string&) { p.fileIndex -= 1; });
        result = FileDownload(context, entry, path, *destination).Run();
        if (result == FileResult::Failed && context.link.commFailed()) {
            context.Note("File Download 2", NoteKind::CommFailure, false);
        }
    }
    return result;
}

// Every entry's place, known before the first file is fetched, so that an
// entry can be refused for what a later one is called.
std::vector<std::optional<std::string>> PlacesOf(EngineContext& context, KeyFileList& list) {
    std::vector<std::optional<std::string>> paths;
    paths.reserve(list.size());
    for (KeyFileEntry& entry : list) {
        paths.push_back(LocalPathFor(context, entry));
    }
    return paths;
}

}  // namespace

std::vector<bool> CollidingEntries(const std::vector<std::optional<std::string>>& paths,
                                   platform::NameRules rules) {
    const auto key = [rules](std::string_view path) { return platform::NameKey(path, rules); };
    std::set<std::string> listed;
    for (const auto& path : paths) {
        if (path) {
            listed.insert(key(*path));
        }
    }
    std::vector<bool> colliding(paths.size(), false);
    std::set<std::string> seen;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!paths[i]) {
            continue;
        }
        const std::string path = key(*paths[i]);
        colliding[i] = !seen.insert(path).second ||
                       listed.count(key(path + std::string(kPartialSuffix))) != 0 ||
                       listed.count(key(path + std::string(kUnpackSuffix))) != 0;
    }
    return colliding;
}

bool DownloadFileList(EngineContext& context) {
    KeyFileList& list = context.state.keyFileList;
    // The list's third field is each file's size where the service gives
    // it; the run's total shows beside the file in progress.
    std::int64_t runBytes = 0;
    for (const KeyFileEntry& entry : list) {
        runBytes += std::max<std::int64_t>(entry.numberA, 0);
    }
    context.Publish([&](control::LiveProgress& p, std::string&) {
        p.fileCount = static_cast<std::int32_t>(
            std::min<std::size_t>(list.size(), std::numeric_limits<std::int32_t>::max()));
        p.failedFiles = 0;
        p.runBytes = runBytes;
        p.runBytesDone = 0;
    });
    if (!context.state.ledgerPruned) {
        context.ledger.Prune(context.block.clock.NowSeconds());
        context.state.ledgerPruned = true;
    }
    const std::vector<std::optional<std::string>> paths = PlacesOf(context, list);
    const std::vector<bool> colliding = CollidingEntries(paths);
    const auto destination = platform::Folder::Open(context.block.localDirectory.value_or(""));

    bool allComplete = true;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (context.StopRequested()) {
            return false;  // no further file after a stop
        }
        const std::optional<std::string>& path = paths[i];
        context.state.currentFileId = list[i].fileId;
        if (!path || colliding[i]) {
            // A name that would leave the destination (or that the client
            // cannot hold), or whose download would write over or delete
            // another listed file, is shown and passed over; nothing is
            // written.
            RefuseEntry(context, list[i], path);
            AddToRunTotal(context, list[i]);
            continue;
        }
        context.Publish(
            [&](control::LiveProgress&, std::string& currentPath) { currentPath = *path; });
        const FileResult result = DownloadEntry(context, list[i], *path, destination);
        context.Publish([&](control::LiveProgress& p, std::string&) {
            p.status = result == FileResult::Failed ? status::kFailed : p.status;
            p.failedFiles += result == FileResult::LocalFailure ? 1 : 0;
        });
        WaitForAcknowledgement(context);
        AddToRunTotal(context, list[i]);
        if (result == FileResult::Failed) {
            return false;
        }
        allComplete = allComplete && result != FileResult::Incomplete;
    }
    return allComplete;
}

}  // namespace engine
