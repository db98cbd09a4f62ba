#pragma once
// The program's record of the work files it has made in people's folders
// (a body as it arrives, an archive's member as it is unpacked). A file
// that carries a work file's name but is not in the record is someone
// else's, an editor's backup "notes.txt~" for one, and is never deleted,
// continued or overwritten because of its name.
//
// Each work file is one entry file in the record's folder, named after the
// work file's identity and holding its path, so recording and forgetting
// are single file operations that need no lock between programs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace engine {

class WorkFileLedger {
  public:
    // Kept in `workFolder` (the program's own); without one nothing is
    // recorded and no file counts as the program's.
    explicit WorkFileLedger(std::optional<std::string> workFolder);

    // Records a work file; `resumable` says that it holds a body cut short
    // and made whole to its last full unit, which a later run may continue
    // (a file still being written may hold anything).
    bool Record(const platform::FileIdentity& identity, std::string_view path,
                bool resumable = false);
    void Forget(const platform::FileIdentity& identity);
    bool Holds(const platform::FileIdentity& identity) const;
    bool Resumable(const platform::FileIdentity& identity) const;

    // Drops the entries of work files that are gone: another file has the
    // path now, or nothing has had it for `staleAfterSeconds` (a folder on
    // a drive that is not attached keeps its entries that long).
    void Prune(std::int64_t nowSeconds, std::int64_t staleAfterSeconds = kStaleAfter);

    static constexpr std::int64_t kStaleAfter = 30 * 24 * 3600;

  private:
    enum class Presence { Present, Replaced, Missing, Unknown };

    std::string EntryPath(const platform::FileIdentity& identity) const;
    // Whether the file at `path` is still the one the entry records.
    Presence PresenceOf(const std::string& path, const std::string& entryPath) const;

    std::optional<std::string> folder_;
};

}  // namespace engine
