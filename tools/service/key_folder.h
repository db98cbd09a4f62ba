#pragma once
// The files of one key: every regular file below "<root>/<KEY>/", in a
// fixed order, with the identifiers, names and dates that the list gives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_time.h"
#include "tools/service/key_settings.h"

namespace qvn_service {

struct ServedFile {
    // Decimal text of the 1-based position in `relative` order; stable as
    // long as the set of files stays the same.
    std::string id;
    std::string relative;  // below the key's folder, '/' between levels
    std::string path;      // on this machine
    std::uint64_t size = 0;
    platform::FileTime lastWrite;
};

// A key may name only a folder directly below the root: not empty, no
// separators, not "." or "..", no NUL.
bool IsUsableKeyName(std::string_view key);

// The key's folder below `root`; nothing when the key is not usable or no
// such folder exists.
std::optional<std::string> KeyFolder(const std::string& root, std::string_view key);

// The regular files below `folder` (symbolic links are not followed),
// sorted by relative name. Without `attributes` only the names, paths and
// identifiers are filled in: one file's request then needs no look at
// every other file (ReadAttributes fills in the one it serves). `folders`,
// when given, receives `folder` and every folder below it that was walked.
std::vector<ServedFile> ListKeyFiles(const std::string& folder, bool attributes = true,
                                     std::vector<std::string>* folders = nullptr);

// Fills in a listed file's size and date; false when it is gone or no
// longer a regular file.
bool ReadAttributes(ServedFile& file);

// The file with identifier `id`, if any.
const ServedFile* FindFileById(const std::vector<ServedFile>& files, std::string_view id);

// The key file list: per file the six TAB-terminated fields id, name
// ("<KEY>\sub\name", in the settings' code page when they give one and the
// name has a form in it, else as on disk), size, date (a blank when the
// file's time has no calendar form), duplicates and 0; then the settings'
// extra records as they are; then CR LF. Empty when there is neither a file
// nor an extra record.
std::string BuildListText(std::string_view key, const std::vector<ServedFile>& files,
                          const KeySettings& settings);

// The settings file of a key: "<root>/<KEY>.conf"; absent means defaults.
ParsedSettings LoadKeySettings(const std::string& root, std::string_view key);

}  // namespace qvn_service
