#pragma once
// Fetching the files of a key's list into the destination folder.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_context.h"

namespace engine {

// Downloads every entry of the context's key file list, one after the
// other, each with its final status published for the dialog. False when a
// file failed (after its one retry for a lost connection) or when any file
// ended incomplete.
bool DownloadFileList(EngineContext& context);

// The names a file's download writes beside its target: the body as it
// arrives, and an archive's member while it is unpacked.
inline constexpr std::string_view kPartialSuffix = "~";
inline constexpr std::string_view kUnpackSuffix = "~unzip";

// Per entry of a list's local paths (none: refused already), whether its
// download could write over or delete another entry's file: its path is
// an earlier entry's, or one of its work names (path + kPartialSuffix or
// kUnpackSuffix) is another entry's path. Such entries are never fetched,
// so that no listed file ever costs another one.
std::vector<bool> CollidingEntries(const std::vector<std::optional<std::string>>& paths);

}  // namespace engine
