#include "engine/work_file.h"

#include "platform/path.h"

namespace engine {
namespace {

// How many names a work file may try: its own, then "2" to "9" appended.
constexpr int kNames = 9;

std::string WorkName(std::string_view target, std::string_view suffix, int attempt) {
    std::string name = std::string(target) + std::string(suffix);
    if (attempt > 1) {
        name += std::to_string(attempt);
    }
    return name;
}

}  // namespace

WorkFile::WorkFile(const WorkPlace& place, std::string name, platform::File file,
                   platform::FileIdentity identity, bool resumable)
    : folder_(&place.folder),
      ledger_(&place.ledger),
      name_(std::move(name)),
      file_(std::move(file)),
      identity_(identity),
      path_(platform::JoinName(place.folderPath, name_)),
      resumable_(resumable) {}

void WorkFile::SetResumable(bool resumable) {
    if (resumable != resumable_) {
        (void)ledger_->Record(identity_, path_, resumable);
        resumable_ = resumable;
    }
}

platform::Status WorkFile::Install(std::string_view target) {
    // Renamed while still held, so no other run can have touched it.
    const platform::Status moved = folder_->RenameIfStill(name_, identity_, target);
    if (moved) {
        ledger_->Forget(identity_);
    }
    return moved;
}

void WorkFile::Discard() {
    if (folder_->RemoveIfStill(name_, identity_)) {
        ledger_->Forget(identity_);
    }
}

LeftoverSearch FindLeftover(const WorkPlace& place, std::string_view target,
                            std::string_view suffix) {
    LeftoverSearch search;
    for (int attempt = 1; attempt <= kNames; ++attempt) {
        const std::string name = WorkName(target, suffix, attempt);
        auto info = place.folder.Inspect(name);
        // Only a file the ledger holds is opened at all.
        if (!info || info->kind != platform::EntryKind::Regular ||
            !place.ledger.Holds(info->identity)) {
            continue;
        }
        auto file = place.folder.OpenUnlocked(name);
        auto identity = file ? file->Identity()
                             : platform::Result<platform::FileIdentity>(platform::FileIdentity{});
        if (!file || !identity || *identity != info->identity) {
            continue;  // taken over between the look and the open
        }
        if (!file->TryLockExclusive()) {
            search.inUse = true;
            return search;
        }
        search.leftover.emplace(place, name, std::move(*file), *identity,
                                place.ledger.Resumable(*identity));
        return search;
    }
    return search;
}

platform::Result<WorkFile> CreateWorkFile(const WorkPlace& place, std::string_view target,
                                          std::string_view suffix) {
    platform::SysError last;
    for (int attempt = 1; attempt <= kNames; ++attempt) {
        const std::string name = WorkName(target, suffix, attempt);
        auto file = place.folder.CreateNew(name);
        if (!file) {
            last = file.error();
            if (place.folder.Inspect(name).ok()) {
                continue;  // someone else's file has this name
            }
            return last;
        }
        auto identity = file->Identity();
        if (!identity) {
            (void)place.folder.Remove(name);
            return identity.error();
        }
        // Unrecorded, the file would look like someone else's to a later
        // run; it still serves this one.
        (void)place.ledger.Record(*identity, platform::JoinName(place.folderPath, name));
        return WorkFile(place, name, std::move(*file), *identity);
    }
    return last;
}

}  // namespace engine
