#include "engine/file_download.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/file_decipher.h"
#include "engine/key_operations.h"
#include "engine/local_place.h"
#include "engine/service_date.h"
#include "engine/service_request.h"
#include "engine/work_file.h"
#include "engine/zip_extractor.h"
#include "net/md5.h"
#include "net/request_builder.h"
#include "net/service_date.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/strings.h"

namespace engine {
namespace {

using net::LineKind;
namespace status = control::status;

// The body is received into a block of this size and written to the file
// a block at a time.
constexpr std::size_t kWriteBlock = 1024 * 1024;
// A local copy is hashed and copied a block of this size at a time: read
// into one buffer, it costs less than through a mapping, whose every page
// is a fault to serve, and no more memory whatever the file's size.
constexpr std::size_t kCopyBlock = 1024 * 1024;

// How one file ended.
enum class FileResult {
    Done,          // fetched, kept, refused by the service or passed over
    Incomplete,    // cut short on the way: the run must not count as done
    LocalFailure,  // cannot be stored here; fetching again would not help
    Failed,        // the operation failed (retried once when communication broke)
};

// A file's handling starts: its number, nothing received yet.
void StartFile(control::LiveProgress& p, std::int32_t status) {
    p.fileIndex += 1;
    p.compressed = false;
    p.doneK = 0;
    p.fileSizeK = 0;
    p.hasFilePath = true;
    p.status = status;
}

std::int32_t KilobytesOf(std::int64_t bytes) {
    const std::int64_t k = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return static_cast<std::int32_t>(std::min<std::int64_t>(k, INT32_MAX));
}

// The final status of a file that could not be stored for this reason.
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

// The MD5 of a file's first `length` bytes; nothing when the file cannot
// be read that far.
std::optional<net::Md5Digest> DigestOf(const platform::File& file, std::uint64_t length) {
    net::Md5 md5;
    std::vector<std::uint8_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, length)));
    for (std::uint64_t offset = 0; offset < length;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), length - offset));
        auto got = file.ReadAt(block.data(), want, offset);
        if (!got || *got == 0) {
            return std::nullopt;
        }
        md5.Update(std::span<const std::uint8_t>(block.data(), *got));
        offset += *got;
    }
    return md5.Finish();
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
        : c_(context), entry_(entry), path_(std::move(path)), destination_(destination) {}

    FileResult Run();

  private:
    enum class Examined { Nothing, Described, Kept, PassedOver, Failed };

    template <typename... Args>
    void Progress(const char* format, Args... args) {
        net::Logf(c_.log(), LineKind::Progress, format, args...);
    }
    template <typename... Args>
    void Error(const char* format, Args... args) {
        net::Logf(c_.log(), LineKind::Error, format, args...);
    }
    void SetStatus(std::int32_t value) {
        c_.Publish([&](control::LiveProgress& p, std::string&) { p.status = value; });
    }
    void DuplicateLine() {
        if (entry_.duplicateCount > 0) {
            Progress("  --DownloadFile Duplicate File Count %d\n", entry_.duplicateCount);
        }
    }
    // Ends the file for a reason found here: its status says which, and
    // the earlier copy stays. A name the file system refuses, or that
    // something other than a file has, is skipped rather than failed.
    FileResult LocalFailure(const char* what, const platform::SysError& error) {
        Error(" Err - DownloadFile - %s %d %s\n", what, error.code, path_.c_str());
        const std::int32_t status = StatusForLocalError(error);
        SetStatus(status);
        return status == status::kRefusedName ? FileResult::Done : FileResult::LocalFailure;
    }
    WorkPlace Work() const {
        return WorkPlace{place_->folder, place_->folderPath, c_.ledger};
    }

    std::optional<FileResult> LookAtDestination();
    Examined Examine();
    Examined Describe(const platform::File& file, bool isTarget);
    bool SendRequest();
    FileResult ReceiveBody(const net::ReplyHeaders& headers);
    std::optional<FileResult> OpenBodyFile(std::int64_t length);
    FileResult Finish();
    std::optional<FileResult> Unpack();
    void SetDate(platform::File& file);

    EngineContext& c_;
    const KeyFileEntry& entry_;
    const std::string path_;
    const platform::Folder& destination_;
    // The target's folder and name; none while a folder on the way is
    // still to be made.
    std::optional<LocalPlace> place_;
    std::optional<platform::EntryInfo> target_;  // what has the target's name
    // An earlier run's partial body, locked, being continued.
    std::optional<WorkFile> leftover_;
    std::optional<WorkFile> body_;
    std::string restartDescription_;
    bool restart_ = false;
    net::FangValues fang_;
    bool enciphered_ = false;
};

// Finds the target's folder and what lies there; a result ends the file.
std::optional<FileResult> FileDownload::LookAtDestination() {
    auto place = PlaceUnder(destination_, *c_.block.localDirectory, entry_.relativeName,
                            MissingFolders::Fail);
    if (!place) {
        if (place.error().NotFound() && !place.error().WrongKind()) {
            return std::nullopt;  // a folder on the way is still to be made
        }
        return LocalFailure("Unusable Folder", place.error());
    }
    place_ = std::move(*place);
    if (auto target = place_->folder.Inspect(place_->name)) {
        if (target->kind != platform::EntryKind::Regular) {
            // A link, folder, FIFO or device: never replaced or followed.
            Error(" Err - DownloadFile - Not a File %s\n", path_.c_str());
            SetStatus(status::kRefusedName);
            return FileResult::Done;
        }
        target_ = *target;
    } else if (!target.error().NotFound()) {
        return LocalFailure("Unusable File", target.error());
    }
    if (target_ && c_.state.testedPaths && c_.state.testedPaths->count(path_) == 0) {
        // The person was asked about the files of the first list only:
        // a file that only the second names is theirs to keep.
        Progress("  DownloadFile not asked to replace %s\n", path_.c_str());
        SetStatus(status::kKept);
        return FileResult::Done;
    }

    LeftoverSearch unpacking = FindLeftover(Work(), place_->name, kUnpackSuffix);
    LeftoverSearch partial = FindLeftover(Work(), place_->name, kPartialSuffix);
    if (unpacking.inUse || partial.inUse) {
        Progress("  DownloadFile in use by another download %s\n", path_.c_str());
        SetStatus(status::kInUse);
        return FileResult::Done;
    }
    if (unpacking.leftover) {
        unpacking.leftover->Discard();  // a member whose unpacking was cut short
    }
    if (partial.leftover) {
        if (c_.block.transferCompress.load()) {
            // A compressed transfer is never continued: the leftover goes.
            partial.leftover->Discard();
        } else {
            leftover_.emplace(std::move(*partial.leftover));
        }
    }
    return std::nullopt;
}

FileDownload::Examined FileDownload::Examine() {
    if (leftover_) {
        return Describe(leftover_->file(), false);
    }
    if (!target_) {
        return Examined::Nothing;
    }
    auto file = place_->folder.OpenFile(place_->name, platform::FileAccess::ReadShared);
    if (!file) {
        if (file.error().NotFound()) {
            return Examined::Nothing;
        }
        c_.Publish([](control::LiveProgress& p, std::string&) { p.hasFilePath = false; });
        Error(" DownloadFile CreateFile Failed %d %s\n", file.error().code, path_.c_str());
        c_.Note(path_, NoteKind::OpenFailure, false, file.error());
        return Examined::PassedOver;
    }
    return Describe(*file, true);
}

FileDownload::Examined FileDownload::Describe(const platform::File& file, bool isTarget) {
    if (!c_.block.verification.load()) {
        return Examined::Nothing;
    }
    auto size = file.Size();
    if (!size || *size == 0) {
        return Examined::Nothing;
    }
    c_.state.localFileSize = static_cast<std::int64_t>(*size);

    if (isTarget && entry_.serverDate != " ") {
        const auto local = file.LastWriteTime();
        const auto service = net::ParseServiceDate(entry_.serverDate);
        if (local && service && *local >= *service) {
            Progress(*local == *service ? "  DownloadFile verify Date match %s\n"
                                        : "  DownloadFile verify Server Date Older %s\n",
                     path_.c_str());
            SetStatus(status::kKept);
            return Examined::Kept;
        }
    }

    const std::optional<net::Md5Digest> digest = DigestOf(file, *size);
    if (!digest) {
        return Examined::Failed;
    }
    restartDescription_ =
        net::RestartHeaderLine(*digest, c_.state.localFileSize, c_.state.currentFileId);
    if (target_) {
        if (auto line = net::DateHeaderLine(target_->lastWrite)) {
            restartDescription_ += *line;
        }
    }
    return Examined::Described;
}

bool FileDownload::SendRequest() {
    net::ServerLink& link = c_.link;
    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    if (!link.connectionOpen() && !link.Connect()) {
        return false;
    }
    c_.SetConclusion("");
    const std::optional<std::string> credentials = CredentialLines(c_);
    if (!credentials) {
        Error(" Err - DownloadFile - Credentials do not fit\n");
        link.Disconnect();
        return false;
    }
    net::FangRequest fang;
    fang.timeModulo = c_.block.clock.NowSeconds() % 1025;
    fang.timeBits = c_.block.clock.NowSeconds() & 0xFFF;
    fang.transferCompress = c_.block.transferCompress.load();
    const std::string request = net::DownloadRequestText(
        link.currentHost(), *credentials, c_.state.currentFileId, restartDescription_, fang);
    if (fang.transferCompress) {
        link.UseLongTimeout();
        if (IsCompressible(path_, 0)) {
            c_.Publish([](control::LiveProgress& p, std::string&) { p.compressed = true; });
        }
    }
    (void)link.SendRequest(request);
    return true;
}

FileResult FileDownload::Run() {
    c_.Publish([](control::LiveProgress& p, std::string&) { StartFile(p, status::kDownloading); });
    c_.state.localFileSize = 0;
    Progress(" DownloadFile Processing file %s\n", path_.c_str());

    if (const std::optional<FileResult> ended = LookAtDestination()) {
        return *ended;
    }
    switch (Examine()) {
        case Examined::Kept:
            return FileResult::Done;
        case Examined::PassedOver:
            // Passed over, but not fetched: the run must not end as if it
            // had been.
            SetStatus(status::kFailed);
            return FileResult::LocalFailure;
        case Examined::Failed:
            Error(" Err - DownloadFile - Local Copy Unreadable %s\n", path_.c_str());
            SetStatus(status::kFailed);
            return FileResult::LocalFailure;
        case Examined::Nothing:
        case Examined::Described:
            break;
    }

    net::ServerLink& link = c_.link;
    if (!SendRequest()) {
        return FileResult::Failed;
    }

    net::ReplyHeaderReader reader;
    const HeaderRead read = ReadHeaderBlock(c_, reader);
    if (read != HeaderRead::Complete) {
        Error(" Err - DownloadFile - Recv Incomplete HTTP header\n");
        link.Disconnect();
        link.SetCommFailed();
        if (read == HeaderRead::Failed) {
            link.MarkCurrentServerFailed();
        }
        return FileResult::Failed;
    }
    if (net::IsProxyAuthenticationFailure(reader.Block())) {
        // A proxy's refusal is no reply of the service: whatever body it
        // carries must never become (or replace) the file.
        Error(" Err - DownloadFile - Proxy Authentication Failed %s\n", path_.c_str());
        link.Disconnect();
        return FileResult::Failed;
    }
    const net::ReplyHeaders headers = net::ParseReplyHeaders(reader.Block());
    if (headers.connectionClose) {
        link.SetCloseAfterReply();
    }
    if (headers.conclusion) {
        c_.SetConclusion(*headers.conclusion);
        if (*headers.conclusion == "UGOTIT") {
            SetStatus(status::kKept);
            if (leftover_) {
                // The partial copy was complete after all.
                (void)leftover_->Install(place_->name);
            }
            Progress("  DownloadFile verify match %s\n", path_.c_str());
            DuplicateLine();
        } else if (platform::EqualsNoCase(*headers.conclusion, "maximum downloads exceeded")) {
            SetStatus(status::kMaximumDownloads);
            Progress("  DownloadFile maximum downloads exceeded %s\n", path_.c_str());
        }
    }
    if (!link.connectionOpen() && !link.Connect()) {
        return FileResult::Failed;
    }
    if (c_.block.transferCompress.load()) {
        link.UseNormalTimeout();
    }
    if (headers.restart) {
        restart_ = true;
        SetStatus(status::kContinued);
    }
    if (headers.larch) {
        c_.state.larchFirst = headers.larch->first;
        if (headers.larch->second) {
            c_.state.larchSecond = *headers.larch->second;
            if (c_.state.larchSecondInitial == 0) {
                c_.state.larchSecondInitial = c_.state.larchSecond;
            }
        }
    }
    if (headers.fang) {
        fang_ = *headers.fang;
    }
    enciphered_ = (c_.state.payloadFlags & 1u) != 0;
    c_.state.replyBody.reset();

    FileResult result = FileResult::Done;
    if (headers.contentLength) {
        result = ReceiveBody(headers);
    }
    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    return result;
}

// Opens the file the body goes into; a result ends the file (the body is
// then left unread).
std::optional<FileResult> FileDownload::OpenBodyFile(std::int64_t length) {
    if (!place_) {
        auto made = PlaceUnder(destination_, *c_.block.localDirectory, entry_.relativeName,
                               MissingFolders::Make);
        if (!made) {
            return LocalFailure("Unable to Create Folder", made.error());
        }
        place_ = std::move(*made);
    }
    // A continued target is copied before the body follows it.
    const bool copyTarget = restart_ && !leftover_;
    std::uint64_t needed = static_cast<std::uint64_t>(length);
    if (copyTarget && target_) {
        needed += target_->size;
    }
    if (auto free = place_->folder.FreeBytes(); free && needed > *free) {
        Error(" Err - DownloadFile - Not Enough Disk Space %llu of %llu %s\n",
              static_cast<unsigned long long>(*free), static_cast<unsigned long long>(needed),
              path_.c_str());
        SetStatus(status::kNoSpace);
        return FileResult::LocalFailure;
    }

    if (leftover_) {
        // The earlier run's partial body: continued, or started again.
        body_.emplace(std::move(*leftover_));
        leftover_.reset();
        const platform::Status positioned =
            restart_ ? body_->file().SeekToEnd() : body_->file().Truncate(0);
        if (!positioned) {
            return LocalFailure("Unable to Create File", positioned.error());
        }
        return std::nullopt;
    }
    if (restart_ && !target_) {
        // Nothing was described that the body could continue.
        Error(" Err - DownloadFile - Nothing to Continue %s\n", path_.c_str());
        return FileResult::Failed;
    }
    auto created = CreateWorkFile(Work(), place_->name, kPartialSuffix);
    if (!created) {
        return LocalFailure("Unable to Create File", created.error());
    }
    body_.emplace(std::move(*created));
    if (copyTarget) {
        auto target = place_->folder.OpenFile(place_->name, platform::FileAccess::ReadShared);
        const platform::Status copied =
            target ? CopyInto(*target, body_->file()) : platform::Status(target.error());
        if (!copied) {
            body_->Discard();
            return LocalFailure("CopyFile Failed", copied.error());
        }
    }
    return std::nullopt;
}

FileResult FileDownload::ReceiveBody(const net::ReplyHeaders& headers) {
    net::ServerLink& link = c_.link;
    const std::int64_t length = *headers.contentLength;
    if (!headers.contentLengthIsNumber || length < 0) {
        Error(" Err - DownloadFile - Bad Content-Length %s\n", path_.c_str());
        link.Disconnect();
        return FileResult::Failed;
    }
    if (enciphered_) {
        // Deciphering needs the stream's key and the plain size, which can
        // never exceed what the file will hold: the body and a continued
        // copy. The length may be as large as a number gets, so their sum
        // is never formed.
        const std::int64_t local = restart_ ? c_.state.localFileSize : 0;
        if (!headers.fang || !fang_.keyIndex || fang_.plainSize < 0 ||
            (fang_.plainSize > length && fang_.plainSize - length > local)) {
            Error(" Err - DownloadFile - Unusable X-QVN-Fang %s\n", path_.c_str());
            link.Disconnect();
            return FileResult::Failed;
        }
    }
    if (const std::optional<FileResult> ended = OpenBodyFile(length)) {
        link.Disconnect();  // the body is left unread
        return *ended;
    }
    platform::File& temp = body_->file();

    c_.Publish([&](control::LiveProgress& p, std::string&) {
        p.fileSizeK = KilobytesOf(length);
        p.doneK = 0;
        p.compressed = fang_.packed;
    });

    std::int64_t remaining = length;
    std::int64_t received = 0;
    std::int32_t publishedK = 0;
    bool receiveError = false;
    platform::Status written;
    // Each receive asks for as much of the body as the block has room for
    // (never more than the body, so the next reply stays unread): with
    // room for a read-ahead's worth the bytes come straight from the
    // socket. Whatever way the loop ends, what was received is written
    // before the file is closed.
    const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteBlock);
    std::size_t filled = 0;
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(remaining, kWriteBlock - filled));
        const std::ptrdiff_t got = link.Receive(block.get() + filled, want);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            receiveError = true;
            break;
        }
        filled += static_cast<std::size_t>(got);
        if (kWriteBlock - filled < net::ServerConnection::kReadAheadSize) {
            written = temp.WriteAll(block.get(), filled);
            filled = 0;
            if (!written) {
                break;
            }
        }
        received += got;
        remaining -= got;
        const std::int32_t doneK =
            static_cast<std::int32_t>(std::min<std::int64_t>(received / 1024, INT32_MAX));
        if (doneK > publishedK) {
            c_.Publish([&](control::LiveProgress& p, std::string&) { p.doneK = doneK; });
            publishedK = doneK;
        }
    }
    if (written) {
        written = temp.WriteAll(block.get(), filled);
    }

    if (!written) {
        // What was written is of no use: the file can never be whole this
        // way. The earlier copy stays.
        body_->Discard();
        link.Disconnect();
        return LocalFailure("Write Failed", written.error());
    }
    if (receiveError) {
        WriteErrorLine(c_, "Err - %s - Error Receiving data from server\n", path_.c_str());
        link.Disconnect();
        link.SetCommFailed();
        link.MarkCurrentServerFailed();
        return FileResult::Failed;
    }
    if (remaining > 0) {
        // Cut short: the partial file stays for a later run to continue,
        // cut back to whole cipher units when enciphered. The file is not
        // complete, whatever else happens.
        DecipherRequest request{restart_,
                                true,
                                enciphered_,
                                fang_.plainSize,
                                fang_.keyIndex.value_or(0),
                                c_.state.localFileSize};
        (void)DecipherDownloadedFile(temp, request, c_.config.keyTable);
        if (auto size = temp.Size(); size && *size == 0) {
            body_->Discard();
        }
        WriteErrorLine(c_, "Err - %s - Error Receiving data from server\n", path_.c_str());
        link.Disconnect();
        SetStatus(status::kIncomplete);
        return FileResult::Incomplete;
    }
    return Finish();
}

void FileDownload::SetDate(platform::File& file) {
    if (!c_.block.useQvnDate.load()) {
        return;
    }
    platform::SysError error;
    if (!SetFileDateFromServer(file, entry_.serverDate, &error)) {
        Error(" Set File Date to QVN date Failed %d %s\n", error.code, path_.c_str());
    }
}

// Unpacks the received archive beside the target and puts the member in
// its place; a result ends the file. A broken archive never costs the
// earlier file.
std::optional<FileResult> FileDownload::Unpack() {
    SetStatus(status::kUnpacking);
    ZipExtractor extractor;
    const std::optional<ZipMember> member = extractor.FirstMember(body_->file());
    auto free = place_->folder.FreeBytes();
    if (member && free && member->declaredSize > *free) {
        Error(" Err - DownloadFile - Not Enough Disk Space %llu of %llu %s\n",
              static_cast<unsigned long long>(*free),
              static_cast<unsigned long long>(member->declaredSize), path_.c_str());
        body_->Discard();
        SetStatus(status::kNoSpace);
        return FileResult::LocalFailure;
    }
    auto created = CreateWorkFile(Work(), place_->name, kUnpackSuffix);
    if (!created) {
        body_->Discard();
        return LocalFailure("Unable to Create File", created.error());
    }
    WorkFile unpacked = std::move(*created);
    const UnzipOutcome outcome = extractor.UnzipFirstEntry(body_->file(), unpacked.file());
    body_->Discard();
    if (!outcome.ok()) {
        unpacked.Discard();
        if (outcome.failure == UnzipFailure::WriteFailed) {
            return LocalFailure("Unpacking Failed", outcome.writeError);
        }
        Error(" Err - DownloadFile - Unpacking Failed %s\n", path_.c_str());
        SetStatus(status::kFailed);
        return FileResult::LocalFailure;
    }
    SetDate(unpacked.file());
    if (const platform::Status moved = unpacked.Install(place_->name); !moved) {
        unpacked.Discard();
        return LocalFailure("Rename Failed", moved.error());
    }
    SetStatus(status::kDownloading);
    return std::nullopt;
}

FileResult FileDownload::Finish() {
    DecipherRequest request{restart_,
                            false,
                            enciphered_,
                            fang_.plainSize,
                            fang_.keyIndex.value_or(0),
                            c_.state.localFileSize};
    if (!DecipherDownloadedFile(body_->file(), request, c_.config.keyTable)) {
        body_->Discard();
        Error(" Err - DownloadFile - Decipher Failed %s\n", path_.c_str());
        SetStatus(status::kFailed);
        return FileResult::LocalFailure;
    }
    if (fang_.packed) {
        if (const std::optional<FileResult> ended = Unpack()) {
            return *ended;
        }
    } else {
        SetDate(body_->file());
        // An atomic rename: the earlier target stays until the new one is
        // in place.
        if (const platform::Status moved = body_->Install(place_->name); !moved) {
            body_->Discard();
            return LocalFailure("Rename Failed", moved.error());
        }
    }

    if (target_) {
        Progress("  DownloadFile - File Update Successful \n");
    } else if (restart_) {
        Progress("  DownloadFile - File Restart Successful \n");
    } else {
        Progress("  DownloadFile - File Download Successful \n");
    }
    DuplicateLine();
    return FileResult::Done;
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

// One listed file, with its second attempt when communication broke.
FileResult DownloadEntry(EngineContext& context, const KeyFileEntry& entry,
                         const std::string& path, const platform::Folder& destination) {
    context.link.ClearCommFailed();
    FileResult result = FileDownload(context, entry, path, destination).Run();
    if (result == FileResult::Failed && context.link.commFailed()) {
        // The second attempt shows the same file number.
        context.Publish([](control::LiveProgress& p, std::string&) { p.fileIndex -= 1; });
        result = FileDownload(context, entry, path, destination).Run();
        if (result == FileResult::Failed && context.link.commFailed()) {
            context.Note("File Download 2", NoteKind::CommFailure, false);
        }
    }
    return result;
}

}  // namespace

std::vector<bool> CollidingEntries(const std::vector<std::optional<std::string>>& paths) {
    std::set<std::string> listed;
    for (const auto& path : paths) {
        if (path) {
            listed.insert(*path);
        }
    }
    std::vector<bool> colliding(paths.size(), false);
    std::set<std::string> seen;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!paths[i]) {
            continue;
        }
        const std::string& path = *paths[i];
        colliding[i] = !seen.insert(path).second ||
                       listed.count(path + std::string(kPartialSuffix)) != 0 ||
                       listed.count(path + std::string(kUnpackSuffix)) != 0;
    }
    return colliding;
}

bool DownloadFileList(EngineContext& context) {
    KeyFileList& list = context.state.keyFileList;
    context.Publish([&](control::LiveProgress& p, std::string&) {
        p.fileCount = static_cast<std::int32_t>(
            std::min<std::size_t>(list.size(), std::numeric_limits<std::int32_t>::max()));
        p.failedFiles = 0;
    });
    if (!context.state.ledgerPruned) {
        context.ledger.Prune(context.block.clock.NowSeconds());
        context.state.ledgerPruned = true;
    }

    // Every entry's place is known before the first file is fetched, so
    // that an entry can be refused for what a later one is called.
    std::vector<std::optional<std::string>> paths;
    paths.reserve(list.size());
    for (KeyFileEntry& entry : list) {
        paths.push_back(LocalPathFor(context, entry));
    }
    const std::vector<bool> colliding = CollidingEntries(paths);
    auto destination = platform::Folder::Open(context.block.localDirectory.value_or(""));

    bool allComplete = true;
    for (std::size_t i = 0; i < list.size(); ++i) {
        KeyFileEntry& entry = list[i];
        const std::optional<std::string>& path = paths[i];
        context.state.currentFileId = entry.fileId;
        if (!path || colliding[i]) {
            // A name that would leave the destination (or that the client
            // cannot hold), or whose download would write over or delete
            // another listed file, is shown and passed over; nothing is
            // written.
            RefuseEntry(context, entry, path);
            continue;
        }
        context.Publish(
            [&](control::LiveProgress&, std::string& currentPath) { currentPath = *path; });

        FileResult result = FileResult::Failed;
        if (destination) {
            result = DownloadEntry(context, entry, *path, *destination);
        } else {
            net::Logf(context.log(), LineKind::Error,
                      " Err - DownloadFile - Destination Unusable %d %s\n",
                      destination.error().code, path->c_str());
            context.Publish([&](control::LiveProgress& p, std::string&) {
                StartFile(p, StatusForLocalError(destination.error()));
            });
            result = FileResult::LocalFailure;
        }
        context.Publish([&](control::LiveProgress& p, std::string&) {
            if (result == FileResult::Failed) {
                p.status = status::kFailed;
            }
            if (result == FileResult::LocalFailure) {
                p.failedFiles += 1;
            }
        });
        WaitForAcknowledgement(context);
        if (result == FileResult::Failed) {
            return false;
        }
        if (result == FileResult::Incomplete) {
            allComplete = false;
        }
    }
    return allComplete;
}

}  // namespace engine
