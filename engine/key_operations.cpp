#include "engine/key_operations.h"

#include <algorithm>
#include <set>

#include "engine/file_download.h"
#include "engine/local_place.h"
#include "engine/service_request.h"
#include "net/message_cipher.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/path.h"

namespace engine {
namespace {

using net::LineKind;

void Trace(EngineContext& context, const char* line) {
    net::Logf(context.log(), LineKind::OperationTrace, "%s", line);
}

// One request, tried a second time at once when it fails; a communication
// failure of both leaves a note for the user.
bool RequestTwice(EngineContext& context, const char* word, const char* retryLine,
                  const char* noteWord, bool shortTimeout) {
    context.state.shortTimeout = shortTimeout;
    if (ServiceRequest(context, word)) {
        return true;
    }
    WriteErrorLine(context, "%s", retryLine);
    context.state.shortTimeout = shortTimeout;
    if (ServiceRequest(context, word)) {
        return true;
    }
    if (context.link.commFailed()) {
        context.Note(noteWord, NoteKind::CommFailure, false);
    }
    return false;
}

// More than a person reads in a question; the count still says "some exist".
constexpr std::size_t kExistingFilesShown = 200;

// A regular file has the entry's name below the destination. Anything
// else there (a link, a folder) is refused by the download rather than
// replaced, so nobody needs to be asked about it.
bool ExistsAsFile(const platform::Folder& destination, std::string_view destinationPath,
                  const KeyFileEntry& entry) {
    auto place = PlaceUnder(destination, destinationPath, entry.relativeName, MissingFolders::Fail);
    if (!place) {
        return false;
    }
    auto info = place->folder.Inspect(place->name);
    return info && info->kind == platform::EntryKind::Regular;
}

}  // namespace

bool VerifyDownloadKey(EngineContext& context) {
    Trace(context, "  Start VerifyDownloadKey\n");
    if (!RequestTwice(context, "VDLK", "Err - RETRY VerifyDownloadKey at Quorvane\n", "VDLK",
                      /*shortTimeout=*/true)) {
        return false;
    }
    Trace(context, "  VerifyDownloadKey Complete\n");
    return true;
}

bool DownloadCompleteWithKey(EngineContext& context) {
    return RequestTwice(context, "DLCK", "Err - RETRY DownloadCompleteWithKey at Quorvane\n",
                        "DLCK", false);
}

bool GetKeyFileList(EngineContext& context) {
    if (!RequestTwice(context, "DKFL", "Err - RETRY Getting Key File List at Quorvane\n",
                      "Key File List", false)) {
        return false;
    }
    EngineState& state = context.state;
    if ((state.payloadFlags & 1u) != 0 && state.replyBody) {
        std::vector<std::uint8_t>& body = *state.replyBody;
        const std::span<std::uint8_t> received(body.data(),
                                               static_cast<std::size_t>(state.replyLength));
        const std::size_t plain =
            net::DecipherWithPrefix(context.config.keyTable, received, received);
        // The plaintext moved two bytes to the front. What stays behind it
        // is left-over ciphertext, never list text: clear it, so the text
        // ends with the plaintext even when that has no zero fill.
        std::fill(body.begin() + static_cast<std::ptrdiff_t>(plain), body.end(), 0);
    }
    return true;
}

void ParseFetchedList(EngineContext& context) {
    const std::vector<std::uint8_t>& body = *context.state.replyBody;
    const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
    context.state.keyFileList = ParseKeyFileList(text, /*keepBackslash=*/true);
}

std::optional<std::string> LocalPathFor(EngineContext& context, KeyFileEntry& entry) {
    DropTopFolder(entry.relativeName);
    auto local = context.serviceNames ? context.serviceNames->Convert(entry.relativeName)
                                      : context.serviceNames.error();
    if (!local) {
        // Stored as it came, the name would be broken in every file manager.
        entry.relativeName = EscapeBytes(entry.relativeName);
        return std::nullopt;
    }
    entry.relativeName = std::move(*local);
    // The list was escaped in the service's code page; a code page that is
    // not ASCII below 0x80 can give characters that escaping never saw.
    EscapeFileName(entry.relativeName, /*keepBackslash=*/true);
    if (entry.overWidth || !context.block.localDirectory) {
        return std::nullopt;
    }
    std::optional<std::string> path =
        platform::JoinUnder(*context.block.localDirectory, entry.relativeName);
    if (!path || path->size() > kCurrentPathLimit) {
        return std::nullopt;
    }
    return path;
}

bool TestDestUsingKey(EngineContext& context) {
    Trace(context, "  TestDestUsingKey Start\n");
    if (!GetKeyFileList(context)) {
        return false;
    }
    if (!context.state.replyBody) {
        Trace(context, "  TestDestUsingKey No Files in Folder \n");
        context.state.testedPaths.emplace();
        return true;
    }
    ParseFetchedList(context);
    if (!context.block.localDirectory) {
        return false;
    }
    auto destination = platform::Folder::Open(*context.block.localDirectory);

    // Every listed path counts as asked about, and every file that exists
    // is named to the person; the progress record names the first.
    std::set<std::string> tested;
    std::vector<std::string> existing;
    for (KeyFileEntry& entry : context.state.keyFileList) {
        const std::optional<std::string> path = LocalPathFor(context, entry);
        if (!path) {
            continue;  // never looked at: the download refuses it too
        }
        tested.insert(*path);
        if (existing.size() >= kExistingFilesShown) {
            continue;
        }
        if (existing.empty()) {
            context.state.currentFileId = entry.fileId;
            context.Publish(
                [&](control::LiveProgress&, std::string& currentPath) { currentPath = *path; });
        }
        if (destination && ExistsAsFile(*destination, *context.block.localDirectory, entry)) {
            existing.push_back(*path);
        }
    }
    const bool found = !existing.empty();
    context.state.testedPaths = std::move(tested);
    context.Publish([&](control::LiveProgress& progress, std::string&) {
        progress.compressed = false;
        progress.doneK = 0;
        progress.fileSizeK = 0;
        progress.hasFilePath = true;
        progress.status = found ? control::status::kSomeExist : control::status::kNoneExist;
    });
    {
        const std::lock_guard<std::mutex> lock(context.block.progressLock);
        context.block.existingFiles = std::move(existing);
    }
    Trace(context, "  TestDestUsingKey Complete\n");
    return true;
}

bool DownloadFilesUsingKey(EngineContext& context) {
    Trace(context, "  DownloadFilesUsingKey Start\n");
    if (!GetKeyFileList(context)) {
        Trace(context, "  DownloadFilesUsingKey no file list\n");
        return false;
    }
    if (!context.state.replyBody) {
        Trace(context, "  DownloadFilesUsingKey no files in table\n");
        return true;
    }
    ParseFetchedList(context);
    return DownloadFileList(context);
}

}  // namespace engine
