#pragma once
// Fetching the files of a key's list into the destination folder.

#include "engine/engine_context.h"

namespace engine {

// Downloads every entry of the context's key file list, one after the
// other, each with its final status published for the dialog. False when a
// file failed (after its one retry for a lost connection) or when any file
// ended incomplete.
bool DownloadFileList(EngineContext& context);

}  // namespace engine
