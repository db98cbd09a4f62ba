#pragma once
// Fetching the files of a key's list into the destination folder.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_context.h"
#include "engine/work_file.h"
#include "platform/path.h"

namespace engine {

// Downloads every entry of the context's key file list, one after the
// other, each with its final status published for the dialog. False when a
// file failed (after its one retry for a lost connection) or when any file
// was cut short on the way, so that the run is tried again; a file that
// cannot be stored here (no space, no access, a broken archive) only ends
// with its status and counts in the progress record's failedFiles.
bool DownloadFileList(EngineContext& context);

// Per entry of a list's local paths (none: refused already), whether its
// download could write over or delete another entry's file: its path is
// an earlier entry's, or one of its work names (path + kPartialSuffix or
// kUnpackSuffix) is another entry's path, compared as the file system
// under `rules` compares names (on Windows without regard to letter case).
// Such entries are never fetched, so that no listed file ever costs
// another one.
std::vector<bool> CollidingEntries(const std::vector<std::optional<std::string>>& paths,
                                   platform::NameRules rules = platform::SystemNameRules());

}  // namespace engine
