#pragma once
// The work files of one download, beside its target: the body as it
// arrives ("name~") and an archive's member as it is unpacked
// ("name~unzip"). A work file is held open and locked from the moment it
// is made (or found again) until it is renamed into place or removed, so a
// second copy of the program never deletes, cuts or renames another's. It
// is in the ledger for as long as it exists; a file under such a name that
// the ledger does not hold is someone else's and is left alone, and the
// work file takes the next name that nothing has ("name~2" ... "name~9").

#include <optional>
#include <string>
#include <string_view>

#include "engine/work_file_ledger.h"
#include "platform/folder.h"

namespace engine {

inline constexpr std::string_view kPartialSuffix = "~";
inline constexpr std::string_view kUnpackSuffix = "~unzip";

// Where a work file lives: the target's folder, open, and its path for the
// ledger's record.
struct WorkPlace {
    const platform::Folder& folder;
    std::string folderPath;
    WorkFileLedger& ledger;
};

class WorkFile {
  public:
    WorkFile(const WorkPlace& place, std::string name, platform::File file,
             platform::FileIdentity identity, bool resumable = false);
    WorkFile(WorkFile&& other) noexcept = default;
    WorkFile& operator=(WorkFile&&) = delete;
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    // Closes it; the file stays on disk, recorded, for a later run.
    ~WorkFile() = default;

    platform::File& file() { return file_; }
    const std::string& name() const { return name_; }
    // A body an earlier run cut short and left whole to its last full
    // unit: a later run may continue it.
    bool resumable() const { return resumable_; }
    // Records whether a later run may continue it: true once the body it
    // holds is left whole to its last full unit, false before it is
    // written again.
    void SetResumable(bool resumable);

    // Renames it over the target (a name in the same folder) and forgets it.
    platform::Status Install(std::string_view target);
    // Removes it from disk and forgets it.
    void Discard();

  private:
    const platform::Folder* folder_;
    WorkFileLedger* ledger_;
    std::string name_;
    platform::File file_;
    platform::FileIdentity identity_;
    std::string path_;
    bool resumable_;
};

struct LeftoverSearch {
    std::optional<WorkFile> leftover;  // the program's own, now locked by this run
    bool inUse = false;                // the program's own, held by another live run
};

// Looks for a work file of `target` that an earlier run of the program
// left behind.
LeftoverSearch FindLeftover(const WorkPlace& place, std::string_view target,
                            std::string_view suffix);

// Makes a new work file of `target` under the first of its names that
// nothing has, and records it.
platform::Result<WorkFile> CreateWorkFile(const WorkPlace& place, std::string_view target,
                                          std::string_view suffix);

}  // namespace engine
