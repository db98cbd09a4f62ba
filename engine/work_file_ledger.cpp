#include "engine/work_file_ledger.h"

#include "platform/folder.h"
#include "platform/path.h"
#include "platform/strings.h"

namespace engine {
namespace {

constexpr std::string_view kEntryPrefix = "work-";
// The entry's second line when the work file may be continued.
constexpr std::string_view kResumable = "\nresumable";
// Longer than any path an entry records.
constexpr std::size_t kPathLimit = 64 * 1024;

}  // namespace

WorkFileLedger::WorkFileLedger(std::optional<std::string> workFolder) {
    if (workFolder) {
        folder_ = platform::JoinName(*workFolder, "work-files");
    }
}

std::string WorkFileLedger::EntryPath(const platform::FileIdentity& identity) const {
    return platform::JoinName(
        *folder_, platform::StrPrintf("%s%llx-%llx-%llx-%llx", std::string(kEntryPrefix).c_str(),
                                      static_cast<unsigned long long>(identity.device),
                                      static_cast<unsigned long long>(identity.number),
                                      static_cast<unsigned long long>(identity.bornSeconds),
                                      static_cast<unsigned long long>(identity.bornNanoseconds)));
}

bool WorkFileLedger::Record(const platform::FileIdentity& identity, std::string_view path,
                            bool resumable) {
    if (!folder_ || !platform::CreateFolder(*folder_)) {
        return false;
    }
    std::string entry(path);
    if (resumable) {
        entry += kResumable;
    }
    return platform::WriteWholeFile(EntryPath(identity), entry).ok();
}

bool WorkFileLedger::Resumable(const platform::FileIdentity& identity) const {
    if (!folder_) {
        return false;
    }
    auto entry = platform::ReadFileStart(EntryPath(identity), kPathLimit);
    return entry && entry->ends_with(kResumable);
}

void WorkFileLedger::Forget(const platform::FileIdentity& identity) {
    if (folder_) {
        (void)platform::DeleteFile(EntryPath(identity));
    }
}

bool WorkFileLedger::Holds(const platform::FileIdentity& identity) const {
    return folder_ && platform::Exists(EntryPath(identity));
}

void WorkFileLedger::Prune(std::int64_t nowSeconds, std::int64_t staleAfterSeconds) {
    if (!folder_) {
        return;
    }
    auto ledger = platform::Folder::Open(*folder_);
    if (!ledger) {
        return;
    }
    auto names = ledger->Names();
    if (!names) {
        return;
    }
    for (const std::string& name : *names) {
        auto entry = ledger->Inspect(name);
        auto text = platform::ReadFileStart(platform::JoinName(*folder_, name), kPathLimit);
        if (!name.starts_with(kEntryPrefix) || !entry || !text) {
            continue;
        }
        const std::string path = text->substr(0, text->find('\n'));
        std::int64_t recorded = 0;
        std::int64_t nanoseconds = 0;
        platform::FileTimeToUnix(entry->lastWrite, &recorded, &nanoseconds);
        const Presence presence = PresenceOf(path, platform::JoinName(*folder_, name));
        if (presence == Presence::Replaced ||
            (presence == Presence::Missing && nowSeconds - recorded > staleAfterSeconds)) {
            (void)ledger->Remove(name);
        }
    }
}

WorkFileLedger::Presence WorkFileLedger::PresenceOf(const std::string& path,
                                                    const std::string& entryPath) const {
    const std::optional<std::string_view> parent = platform::FolderPart(path);
    if (!parent) {
        return Presence::Unknown;
    }
    auto folder = platform::Folder::Open(std::string(*parent));
    if (!folder) {
        return folder.error().NotFound() ? Presence::Missing : Presence::Unknown;
    }
    auto info = folder->Inspect(platform::FileNamePart(path));
    if (!info) {
        return info.error().NotFound() ? Presence::Missing : Presence::Unknown;
    }
    return EntryPath(info->identity) == entryPath ? Presence::Present : Presence::Replaced;
}

}  // namespace engine
