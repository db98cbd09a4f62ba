#include "engine/file_decipher.h"

#include <algorithm>
#include <span>
#include <thread>
#include <vector>

#include "net/message_cipher.h"
#include "platform/file.h"

namespace engine {
namespace {

// Files are mapped a window at a time, so that memory use stays flat
// whatever the file's size. A multiple of the cipher unit.
constexpr std::uint64_t kWindow = 32ull * 1024 * 1024;

// Deciphers whole units, then the shorter rest. Every unit is deciphered on
// its own, so any split into units gives the same bytes, and the parts of a
// large span are shared between the machine's cores.
void DecipherUnits(const net::StreamDecipher& decipher, std::span<std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kCipherUnit) {
        const std::size_t unit = std::min<std::size_t>(kCipherUnit, bytes.size() - at);
        decipher.Decipher(bytes.subspan(at, unit));
    }
}

void DecipherInParallel(const net::StreamDecipher& decipher, std::span<std::uint8_t> bytes) {
    constexpr std::size_t kParallelFrom = 1024 * 1024;
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    if (cores == 1 || bytes.size() < kParallelFrom) {
        DecipherUnits(decipher, bytes);
        return;
    }
    // Parts start on unit boundaries, so each unit stays whole.
    const std::size_t units = (bytes.size() + kCipherUnit - 1) / kCipherUnit;
    const std::size_t perPart = (units + cores - 1) / cores * kCipherUnit;
    std::vector<std::jthread> helpers;
    for (std::size_t at = perPart; at < bytes.size(); at += perPart) {
        const std::span<std::uint8_t> part =
            bytes.subspan(at, std::min(perPart, bytes.size() - at));
        helpers.emplace_back([&decipher, part] { DecipherUnits(decipher, part); });
    }
    DecipherUnits(decipher, bytes.first(std::min(perPart, bytes.size())));
}

}  // namespace

bool DecipherDownloadedFile(const std::string& path, const DecipherRequest& request,
                            const net::KeyTable& table) {
    if (!request.enciphered) {
        return true;
    }
    auto file = platform::File::Open(path, platform::FileAccess::ReadWrite);
    if (!file) {
        return false;
    }
    auto size = file->Size();
    if (!size) {
        return false;
    }
    std::uint64_t length = *size;
    std::int64_t plainSize = request.plainSize;
    if (request.incomplete && length % kCipherUnit != 0) {
        length -= length % kCipherUnit;
        if (!file->Truncate(length)) {
            return false;
        }
        plainSize = static_cast<std::int64_t>(length);
    }
    if (length == 0) {
        file->Close();
        if (request.incomplete) {
            (void)platform::DeleteFile(path);
        }
        return true;
    }

    const std::uint64_t first =
        request.restart && request.localFileSize > 0
            ? static_cast<std::uint64_t>(request.localFileSize / kCipherUnit) * kCipherUnit
            : 0;
    const net::StreamDecipher decipher(table, request.keyIndex);
    for (std::uint64_t offset = first; offset < length; offset += kWindow) {
        const std::size_t span = static_cast<std::size_t>(std::min(kWindow, length - offset));
        auto view = platform::Mapping::Map(*file, offset, span, platform::MapAccess::ReadWrite);
        if (!view) {
            return false;
        }
        DecipherInParallel(decipher, std::span<std::uint8_t>(view->data(), span));
    }

    if (plainSize >= 0 && static_cast<std::uint64_t>(plainSize) < length) {
        if (!file->Truncate(static_cast<std::uint64_t>(plainSize))) {
            return false;
        }
    }
    return true;
}

}  // namespace engine
