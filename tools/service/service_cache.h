#pragma once
// Work the service would otherwise repeat for every request, done once and
// kept: enciphered file bodies and zip archives as files in a cache folder
// (sent from there like any plain file), and digests of file starts in
// memory. It lets a benchmark measure the client rather than the service's
// Blowfish, deflate or MD5.
//
// Entries belong to a source file as the service last saw it: its path,
// size and last-write time. A file that is rewritten gets new entries;
// one changed within the file system's time resolution while keeping its
// size would not be noticed, which is why the cache is used only on request.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "net/key_table.h"
#include "net/md5.h"
#include "tools/service/reply.h"

namespace qvn_service {

class ServiceCache {
  public:
    // `folder` must exist; entries are written there as files.
    explicit ServiceCache(std::string folder);

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

  private:
    // Path, size and last-write time of a source file; nothing when it is gone.
    static std::optional<std::string> Identity(const std::string& path);
    // The entry's path for an identity text and a suffix.
    std::string EntryPath(const std::string& identity, const char* suffix) const;
    // Writes an entry under a private name, then puts it in place at once.
    std::optional<FileRange> Store(const std::string& entry,
                                   const std::function<bool(platform::File& out)>& write);

    std::string folder_;
    std::mutex mutex_;
    std::map<std::string, net::Md5Digest> digests_;
    std::uint64_t partCounter_ = 0;
};

}  // namespace qvn_service
