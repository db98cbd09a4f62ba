#include "tools/service/service_cache.h"

#include <algorithm>
#include <span>
#include <thread>
#include <vector>

#include "net/blowfish.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "tools/service/download_plan.h"

namespace qvn_service {

namespace {

// Plain bytes are enciphered this many at a time, shared between the cores.
constexpr std::size_t kCipherChunk = 8 * 1024 * 1024;

// FNV-1a: entry names only need to keep identities apart.
std::uint64_t NameHash(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// `bytes` holds whole blocks; each block is enciphered on its own, so any
// split on block boundaries gives the same bytes.
void EncipherOnAllCores(const net::BlowfishCipher& cipher, std::span<std::uint8_t> bytes) {
    const std::size_t cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const std::size_t blocks = bytes.size() / net::BlowfishCipher::kBlockSize;
    const std::size_t perPart =
        std::max<std::size_t>(1, (blocks + cores - 1) / cores) * net::BlowfishCipher::kBlockSize;
    std::vector<std::jthread> helpers;
    for (std::size_t at = perPart; at < bytes.size(); at += perPart) {
        const auto part = bytes.subspan(at, std::min(perPart, bytes.size() - at));
        helpers.emplace_back([&cipher, part] { cipher.Encipher(part, part); });
    }
    const auto first = bytes.first(std::min(perPart, bytes.size()));
    cipher.Encipher(first, first);
}

}  // namespace

ServiceCache::ServiceCache(std::string folder, platform::Clock& clock)
    : folder_(std::move(folder)), clock_(clock) {}

bool ServiceCache::Settled(platform::FileTime lastWrite) {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    platform::FileTimeToUnix(lastWrite, &seconds, &nanoseconds);
    return seconds < clock_.NowSeconds() - kSettleSeconds;
}

std::optional<std::string> ServiceCache::Identity(const std::string& path) {
    auto info = platform::GetFileInfo(path);
    // The cache's own entries never change once in place.
    const bool entry = path.compare(0, folder_.size() + 1, folder_ + "/") == 0;
    if (!info || info->isDirectory || !(entry || Settled(info->lastWrite))) {
        return std::nullopt;
    }
    return platform::StrPrintf("%s\n%llu\n%llu", path.c_str(),
                               static_cast<unsigned long long>(info->size),
                               static_cast<unsigned long long>(info->lastWrite.ticks));
}

std::string ServiceCache::EntryPath(const std::string& identity, const char* suffix) const {
    return folder_ + "/" +
           platform::StrPrintf("%016llx%s", static_cast<unsigned long long>(NameHash(identity)),
                               suffix);
}

std::optional<FileRange> ServiceCache::Store(
    const std::string& entry, const std::function<bool(platform::File& out)>& write) {
    std::uint64_t number = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        number = ++partCounter_;
    }
    // Readers only ever see a whole entry: it appears under its name at once.
    const std::string part =
        entry + platform::StrPrintf(".part%llu", static_cast<unsigned long long>(number));
    auto out = platform::File::Open(part, platform::FileAccess::CreateAlways);
    if (!out) {
        return std::nullopt;
    }
    const bool written = write(*out);
    out->Close();
    if (!written || !platform::MoveFileReplace(part, entry)) {
        (void)platform::DeleteFile(part);
        return std::nullopt;
    }
    auto info = platform::GetFileInfo(entry);
    if (!info) {
        return std::nullopt;
    }
    return FileRange{entry, 0, info->size};
}

std::optional<FileRange> ServiceCache::Enciphered(const FileRange& plain,
                                                  const net::KeyTable::Window& key) {
    const auto source = Identity(plain.path);
    if (!source) {
        return std::nullopt;
    }
    const net::Md5Digest keyDigest = net::ComputeMd5(std::span<const std::uint8_t>(key));
    std::string identity =
        *source + platform::StrPrintf("\ncipher %llu %llu ",
                                      static_cast<unsigned long long>(plain.offset),
                                      static_cast<unsigned long long>(plain.length));
    identity.append(keyDigest.begin(), keyDigest.end());
    const std::string entry = EntryPath(identity, ".cipher");
    const std::uint64_t wire = net::BlowfishCipher::PaddedLength(plain.length);
    if (auto info = platform::GetFileInfo(entry); info && info->size == wire) {
        return FileRange{entry, 0, wire};
    }

    net::BlowfishCipher cipher;
    if (!cipher.SetCipherKey(key)) {
        return std::nullopt;
    }
    return Store(entry, [&](platform::File& out) {
        auto in = platform::File::Open(plain.path, platform::FileAccess::ReadShared);
        if (!in || !in->Seek(plain.offset)) {
            return false;
        }
        std::vector<std::uint8_t> chunk(kCipherChunk);
        std::uint64_t left = plain.length;
        while (left > 0) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, kCipherChunk));
            std::size_t filled = 0;
            while (filled < want) {
                auto got = in->Read(chunk.data() + filled, want - filled);
                if (!got || *got == 0) {
                    return false;
                }
                filled += *got;
            }
            left -= want;
            // Only the last chunk can end inside a block; zeros complete it.
            const std::size_t padded = net::BlowfishCipher::PaddedLength(want);
            std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(want),
                      chunk.begin() + static_cast<std::ptrdiff_t>(padded), 0);
            EncipherOnAllCores(cipher, std::span<std::uint8_t>(chunk.data(), padded));
            if (!out.WriteAll(chunk.data(), padded)) {
                return false;
            }
        }
        return true;
    });
}

std::optional<FileRange> ServiceCache::Archive(
    const std::string& source, const std::function<std::optional<std::string>()>& make) {
    const auto identity = Identity(source);
    if (!identity) {
        return std::nullopt;
    }
    const std::string entry = EntryPath(*identity + "\nzip", ".zip");
    if (auto info = platform::GetFileInfo(entry); info && info->size > 0) {
        return FileRange{entry, 0, info->size};
    }
    const std::optional<std::string> archive = make();
    if (!archive || archive->empty()) {
        return std::nullopt;
    }
    return Store(entry, [&](platform::File& out) {
        return out.WriteAll(archive->data(), archive->size()).ok();
    });
}

std::optional<net::Md5Digest> ServiceCache::DigestOfStart(const std::string& path,
                                                          std::uint64_t length) {
    const auto source = Identity(path);
    if (!source) {
        return DigestOfFileStart(path, length);
    }
    const std::string identity =
        *source + platform::StrPrintf("\nmd5 %llu", static_cast<unsigned long long>(length));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = digests_.find(identity); found != digests_.end()) {
            return found->second;
        }
    }
    const std::optional<net::Md5Digest> digest = DigestOfFileStart(path, length);
    if (digest) {
        std::lock_guard<std::mutex> lock(mutex_);
        digests_.emplace(identity, *digest);
    }
    return digest;
}

std::shared_ptr<const std::vector<ServedFile>> ServiceCache::FileNames(const std::string& folder) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = listings_.find(folder); found != listings_.end()) {
            const bool unchanged =
                std::all_of(found->second.folders.begin(), found->second.folders.end(),
                            [](const std::pair<std::string, platform::FileTime>& seen) {
                                auto info = platform::GetFileInfo(seen.first);
                                return info && info->isDirectory && info->lastWrite == seen.second;
                            });
            if (unchanged) {
                return found->second.files;
            }
            listings_.erase(found);
        }
    }
    // A folder that changed during the walk is too fresh to be kept.
    std::vector<std::string> walked;
    auto files = std::make_shared<const std::vector<ServedFile>>(
        ListKeyFiles(folder, /*attributes=*/false, &walked));
    Listing listing;
    for (const std::string& path : walked) {
        auto info = platform::GetFileInfo(path);
        if (!info || !info->isDirectory || !Settled(info->lastWrite)) {
            return files;
        }
        listing.folders.emplace_back(path, info->lastWrite);
    }
    listing.files = files;
    std::lock_guard<std::mutex> lock(mutex_);
    listings_[folder] = std::move(listing);
    return files;
}

}  // namespace qvn_service
