#pragma once
// Work the service would otherwise repeat for every request, done once and
// kept: enciphered file bodies and zip archives as files in a cache folder
// (sent from there like any plain file), digests of file starts and the
// names in key folders in memory. It lets a benchmark measure the client
// rather than the service's Blowfish, deflate, MD5 and folder walks.
//
// Entries belong to a file (or folder) as the service saw it: its path,
// size and last-write time. They are made only for what had been left
// unchanged for kSettleSeconds when it was read: a later change then
// always shows as a new last-write time, whatever the file system's time
// resolution. Anything fresher is answered as without a cache.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/key_table.h"
#include "net/md5.h"
#include "platform/clock.h"
#include "tools/service/key_folder.h"
#include "tools/service/reply.h"

namespace qvn_service {

inline constexpr std::int64_t kSettleSeconds = 3;

class ServiceCache {
  public:
    // `folder` must exist; entries are written there as files. `clock`
    // tells whether a file has settled.
    ServiceCache(std::string folder, platform::Clock& clock);

    // A file holding `plain` enciphered under `key`, zero-padded to whole
    // blocks, as BodyStream would send it; made on first use. Nothing when
    // the source cannot be read or the entry cannot be written.
    std::optional<FileRange> Enciphered(const FileRange& plain, const net::KeyTable::Window& key);

    // A file holding the archive that `make` produces for the file at
    // `source`; `make` runs only on first use. Nothing when `make` gives
    // nothing or the entry cannot be written.
    std::optional<FileRange> Archive(const std::string& source,
                                     const std::function<std::optional<std::string>()>& make);

    // The MD5 digest of the first `length` bytes of the file at `path`,
    // computed on first use; nothing when it cannot be read that far.
    std::optional<net::Md5Digest> DigestOfStart(const std::string& path, std::uint64_t length);

    // ListKeyFiles(folder, /*attributes=*/false), kept while none of the
    // folders below `folder` changes.
    // Shared, since a key of many files would otherwise be copied per request.
    std::shared_ptr<const std::vector<ServedFile>> FileNames(const std::string& folder);

  private:
    struct Listing {
        std::shared_ptr<const std::vector<ServedFile>> files;
        std::vector<std::pair<std::string, platform::FileTime>> folders;
    };

    // Path, size and last-write time of a file or folder that has settled;
    // nothing when it is gone or changed too recently to be kept.
    std::optional<std::string> Identity(const std::string& path);
    bool Settled(platform::FileTime lastWrite);
    // The entry's path for an identity text and a suffix.
    std::string EntryPath(const std::string& identity, const char* suffix) const;
    // Writes an entry under a private name, then puts it in place at once.
    std::optional<FileRange> Store(const std::string& entry,
                                   const std::function<bool(platform::File& out)>& write);

    std::string folder_;
    platform::Clock& clock_;
    std::mutex mutex_;
    std::map<std::string, net::Md5Digest> digests_;
    std::map<std::string, Listing> listings_;
    std::uint64_t partCounter_ = 0;
};

}  // namespace qvn_service
