#pragma once
// The operations on a download key: verify it, fetch its file list, test
// the destination for files that already exist, download the files, and
// tell the service the download is complete.

#include <optional>
#include <string>

#include "engine/engine_context.h"

namespace engine {

bool VerifyDownloadKey(EngineContext& context);
bool TestDestUsingKey(EngineContext& context);
bool DownloadFilesUsingKey(EngineContext& context);
bool DownloadCompleteWithKey(EngineContext& context);

// Fetches the list ("DKFL"), deciphered in place when the reply marks
// payloads as enciphered. Two attempts.
bool GetKeyFileList(EngineContext& context);

// Parses the fetched list into the context's key file list.
void ParseFetchedList(EngineContext& context);

// The local path of a listed file: the key's top folder dropped and the
// name converted from the service's code page to UTF-8 (both in the entry,
// once per entry), joined under the destination. Nothing for a name with a
// byte that has no character, a name that would leave the destination, an
// entry wider than the client holds, or a path longer than the client's
// path buffer.
std::optional<std::string> LocalPathFor(EngineContext& context, KeyFileEntry& entry);

inline constexpr std::size_t kCurrentPathLimit = 1023;

}  // namespace engine
