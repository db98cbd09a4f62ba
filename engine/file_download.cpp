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
#include "engine/service_date.h"
#include "engine/service_request.h"
#include "engine/zip_extractor.h"
#include "net/md5.h"
#include "net/request_builder.h"
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
// A local copy is hashed a block of this size at a time: read into one
// buffer, it costs less than through a mapping, whose every page is a
// fault to serve, and no more memory whatever the file's size.
constexpr std::size_t kHashBlock = 1024 * 1024;

// How one file ended.
enum class FileResult {
    Done,        // fetched, kept, refused by the service or passed over
    Incomplete,  // handled, but not complete: the run must not count as done
    Failed,      // the operation failed (retried once when communication broke)
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

// The MD5 of a file's first `length` bytes; nothing when the file cannot
// be read that far.
std::optional<net::Md5Digest> DigestOf(const platform::File& file, std::uint64_t length) {
    net::Md5 md5;
    std::vector<std::uint8_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kHashBlock, length)));
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

class FileDownload {
  public:
    FileDownload(EngineContext& context, const KeyFileEntry& entry, std::string path)
        : c_(context), entry_(entry), path_(std::move(path)) {}

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

    Examined ChooseAndExamine();
    Examined Describe(const std::string& examined);
    bool SendRequest();
    FileResult ReceiveBody(const net::ReplyHeaders& headers);
    FileResult Finish(const std::string& tempPath);
    bool Unpack(const std::string& tempPath);

    EngineContext& c_;
    const KeyFileEntry& entry_;
    const std::string path_;
    std::string tempPath_;
    std::string examinedPath_;
    bool tempExisted_ = false;
    bool targetExisted_ = false;
    std::string restartDescription_;
    bool restart_ = false;
    net::FangValues fang_;
    bool enciphered_ = false;
};

FileDownload::Examined FileDownload::ChooseAndExamine() {
    const bool compress = c_.block.transferCompress.load();
    auto temp = platform::GetFileInfo(tempPath_);
    if (temp) {
        if (compress) {
            // A compressed transfer is never continued: the leftover goes.
            (void)platform::DeleteFile(tempPath_);
            return Examined::Nothing;
        }
        tempExisted_ = true;
        return Describe(tempPath_);
    }
    if (!temp.error().NotFound()) {
        return Examined::Nothing;
    }
    if (!platform::Exists(path_)) {
        return Examined::Nothing;
    }
    targetExisted_ = true;
    return Describe(path_);
}

FileDownload::Examined FileDownload::Describe(const std::string& examined) {
    auto file = platform::File::Open(examined, platform::FileAccess::ReadShared);
    if (!file) {
        if (file.error().NotFound()) {
            return Examined::Nothing;
        }
        c_.Publish([](control::LiveProgress& p, std::string&) { p.hasFilePath = false; });
        Error(" DownloadFile CreateFile Failed %d %s\n", file.error().code, examined.c_str());
        c_.Note(examined, NoteKind::OpenFailure, false, file.error());
        return Examined::PassedOver;
    }
    examinedPath_ = examined;
    if (!c_.block.verification.load()) {
        return Examined::Nothing;
    }
    auto size = file->Size();
    if (!size || *size == 0) {
        return Examined::Nothing;
    }
    c_.state.localFileSize = static_cast<std::int64_t>(*size);

    if (targetExisted_ && entry_.serverDate != " ") {
        const auto local = file->LastWriteTime();
        const auto service = ParseServerDate(entry_.serverDate);
        if (local && service && *local >= *service) {
            Progress(*local == *service ? "  DownloadFile verify Date match %s\n"
                                        : "  DownloadFile verify Server Date Older %s\n",
                     path_.c_str());
            SetStatus(status::kKept);
            return Examined::Kept;
        }
    }

    const std::optional<net::Md5Digest> digest = DigestOf(*file, *size);
    if (!digest) {
        return Examined::Failed;
    }
    restartDescription_ =
        net::RestartHeaderLine(*digest, c_.state.localFileSize, c_.state.currentFileId);
    file->Close();
    if (auto target = platform::GetFileInfo(path_)) {
        if (auto line = net::FormatFileTime(target->lastWrite, /*bare=*/false)) {
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
    tempPath_ = path_ + std::string(kPartialSuffix);

    switch (ChooseAndExamine()) {
        case Examined::Kept:
            return FileResult::Done;
        case Examined::PassedOver:
            SetStatus(status::kFailed);
            return FileResult::Done;
        case Examined::Failed:
            return FileResult::Failed;
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
            if (tempExisted_) {
                // The partial copy was complete after all.
                (void)platform::MoveFileReplace(tempPath_, path_);
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

    platform::File temp;
    if (restart_) {
        if (!tempExisted_) {
            const platform::Status copied =
                examinedPath_.empty() ? platform::Status(platform::SysError{ENOENT})
                                      : platform::CopyFileReplace(examinedPath_, tempPath_);
            if (!copied) {
                Error(" Err - DownloadFile - CopyFile Failed %d\n", copied.error().code);
                link.Disconnect();
                return FileResult::Failed;
            }
        }
        auto opened = platform::File::Open(tempPath_, platform::FileAccess::WriteExisting);
        if (opened && opened->SeekToEnd()) {
            temp = std::move(*opened);
        } else {
            const platform::SysError error = opened ? platform::LastError() : opened.error();
            Error(" Err - DownloadFile - Unable to Create File %d %s\n", error.code,
                  tempPath_.c_str());
            link.Disconnect();
            return FileResult::Failed;
        }
    } else {
        // Deeper levels of the listed name are made inside the destination.
        (void)platform::CreateFoldersUnder(*c_.block.localDirectory, entry_.relativeName);
        auto created = platform::File::Open(tempPath_, platform::FileAccess::CreateAlways);
        if (!created) {
            Error(" Err - DownloadFile - Unable to Create File %d %s\n", created.error().code,
                  tempPath_.c_str());
            link.Disconnect();
            return FileResult::Failed;
        }
        temp = std::move(*created);
    }

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
    temp.Close();

    if (!written) {
        // A disk that is full (or a file too large for it): the file can
        // never be whole this way, and what was written is of no use.
        Error(" Err - DownloadFile - Write Failed %d %s\n", written.error().code, path_.c_str());
        (void)platform::DeleteFile(tempPath_);
        link.Disconnect();
        SetStatus(status::kFailed);
        return FileResult::Incomplete;
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
        (void)DecipherDownloadedFile(tempPath_, request, c_.config.keyTable);
        WriteErrorLine(c_, "Err - %s - Error Receiving data from server\n", path_.c_str());
        link.Disconnect();
        SetStatus(status::kIncomplete);
        return FileResult::Incomplete;
    }
    return Finish(tempPath_);
}

bool FileDownload::Unpack(const std::string& tempPath) {
    SetStatus(status::kUnpacking);
    // The member goes beside the target and replaces it only when it was
    // unpacked whole: a broken archive never costs the earlier file.
    const std::string unpacked = path_ + std::string(kUnpackSuffix);
    const bool ok = ZipExtractor().UnzipFirstEntry(unpacked, tempPath);
    (void)platform::DeleteFile(tempPath);
    if (!ok || !platform::MoveFileReplace(unpacked, path_)) {
        (void)platform::DeleteFile(unpacked);
        Error(" Err - DownloadFile - Unpacking Failed %s\n", path_.c_str());
        return false;
    }
    SetStatus(status::kDownloading);
    return true;
}

FileResult FileDownload::Finish(const std::string& tempPath) {
    DecipherRequest request{restart_,
                            false,
                            enciphered_,
                            fang_.plainSize,
                            fang_.keyIndex.value_or(0),
                            c_.state.localFileSize};
    if (!DecipherDownloadedFile(tempPath, request, c_.config.keyTable)) {
        Error(" Err - DownloadFile - Decipher Failed %s\n", path_.c_str());
        SetStatus(status::kFailed);
        return FileResult::Incomplete;
    }
    if (fang_.packed) {
        if (!Unpack(tempPath)) {
            SetStatus(status::kFailed);
            return FileResult::Incomplete;
        }
    } else {
        // An atomic rename: the earlier target stays until the new one is
        // in place.
        const platform::Status moved = platform::MoveFileReplace(tempPath, path_);
        if (!moved) {
            Error(" Err - DownloadFile - Rename Failed %d %s\n", moved.error().code, path_.c_str());
            SetStatus(status::kFailed);
            return FileResult::Incomplete;
        }
    }

    if (c_.block.useQvnDate.load()) {
        platform::SysError error;
        if (!SetFileDateFromServer(path_, entry_.serverDate, &error)) {
            Error(" Set File Date to QVN date Failed %d %s\n", error.code, path_.c_str());
        }
    }
    if (targetExisted_) {
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
    });

    // Every entry's place is known before the first file is fetched, so
    // that an entry can be refused for what a later one is called.
    std::vector<std::optional<std::string>> paths;
    paths.reserve(list.size());
    for (KeyFileEntry& entry : list) {
        paths.push_back(LocalPathFor(context, entry));
    }
    const std::vector<bool> colliding = CollidingEntries(paths);

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
            context.Publish([&](control::LiveProgress& p, std::string& currentPath) {
                currentPath = path ? *path : entry.relativeName;
                StartFile(p, status::kRefusedName);
            });
            if (path) {
                net::Logf(context.log(), LineKind::Error,
                          " Err - DownloadFile - Name taken by another listed file %s\n",
                          path->c_str());
            } else {
                net::Logf(context.log(), LineKind::Error, " Err - DownloadFile - Refused name %s\n",
                          entry.relativeName.c_str());
            }
            WaitForAcknowledgement(context);
            continue;
        }
        context.Publish(
            [&](control::LiveProgress&, std::string& currentPath) { currentPath = *path; });

        context.link.ClearCommFailed();
        FileResult result = FileDownload(context, entry, *path).Run();
        if (result == FileResult::Failed && context.link.commFailed()) {
            // The second attempt shows the same file number.
            context.Publish([](control::LiveProgress& p, std::string&) { p.fileIndex -= 1; });
            result = FileDownload(context, entry, *path).Run();
            if (result == FileResult::Failed && context.link.commFailed()) {
                context.Note("File Download 2", NoteKind::CommFailure, false);
            }
        }
        if (result == FileResult::Failed) {
            context.Publish(
                [](control::LiveProgress& p, std::string&) { p.status = status::kFailed; });
        }
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
