#include "engine/file_decipher.h"

#include <algorithm>
#include <span>
#include <thread>
#include <vector>

#include "net/message_cipher.h"
#include "platform/file.h"

namespace engine {
namespace {

// Each part of the file is read, deciphered and written back a block at a
// time. A writable mapping would spare the two copies, but every page it
// touches costs a read fault and a write fault, which come dearer than the
// copies (about three times the processor time where this was measured).
// The blocks also keep memory use flat whatever the file's size. A
// multiple of the cipher unit.
constexpr std::size_t kBlock = 1024 * 1024;
// Smaller spans are not worth a second thread.
constexpr std::uint64_t kParallelFrom = 2 * kBlock;

// Deciphers whole units, then the shorter rest. Every unit is deciphered on
// its own, so any split into units gives the same bytes.
void DecipherUnits(const net::StreamDecipher& decipher, std::span<std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kCipherUnit) {
        const std::size_t unit = std::min<std::size_t>(kCipherUnit, bytes.size() - at);
        decipher.Decipher(bytes.subspan(at, unit));
    }
}

// Deciphers [from, to) of the file in place; `from` is on a unit boundary.
bool DecipherPart(const platform::File& file, const net::StreamDecipher& decipher,
                  std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint8_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, to - from)));
    for (std::uint64_t offset = from; offset < to; offset += kBlock) {
        const std::size_t span =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, to - offset));
        std::size_t filled = 0;
        while (filled < span) {
            auto got = file.ReadAt(block.data() + filled, span - filled, offset + filled);
            if (!got || *got == 0) {
                return false;
            }
            filled += *got;
        }
        DecipherUnits(decipher, std::span<std::uint8_t>(block.data(), span));
        if (!file.WriteAllAt(block.data(), span, offset)) {
            return false;
        }
    }
    return true;
}

// The span is shared between the machine's cores in parts that start on
// unit boundaries, so each unit stays whole.
bool DecipherInParallel(const platform::File& file, const net::StreamDecipher& decipher,
                        std::uint64_t from, std::uint64_t to) {
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    if (cores == 1 || to - from < kParallelFrom) {
        return DecipherPart(file, decipher, from, to);
    }
    const std::uint64_t units = (to - from + kCipherUnit - 1) / kCipherUnit;
    const std::uint64_t perPart = (units + cores - 1) / cores * kCipherUnit;
    std::vector<char> done(cores, 1);
    {
        std::vector<std::jthread> helpers;
        unsigned part = 1;
        for (std::uint64_t at = from + perPart; at < to; at += perPart, ++part) {
            helpers.emplace_back([&, part, at] {
                done[part] = DecipherPart(file, decipher, at, std::min(to, at + perPart)) ? 1 : 0;
            });
        }
        done[0] = DecipherPart(file, decipher, from, std::min(to, from + perPart)) ? 1 : 0;
    }
    return std::all_of(done.begin(), done.end(), [](char ok) { return ok != 0; });
}

}  // namespace

bool DecipherDownloadedFile(platform::File& file, const DecipherRequest& request,
                            const net::KeyTable& table) {
    if (!request.enciphered) {
        return true;
    }
    auto size = file.Size();
    if (!size) {
        return false;
    }
    std::uint64_t length = *size;
    std::int64_t plainSize = request.plainSize;
    if (request.incomplete && length % kCipherUnit != 0) {
        length -= length % kCipherUnit;
        if (!file.Truncate(length)) {
            return false;
        }
        plainSize = static_cast<std::int64_t>(length);
    }
    if (length == 0) {
        return true;
    }

    const std::uint64_t first =
        request.restart && request.localFileSize > 0
            ? static_cast<std::uint64_t>(request.localFileSize / kCipherUnit) * kCipherUnit
            : 0;
    const net::StreamDecipher decipher(table, request.keyIndex);
    if (first < length && !DecipherInParallel(file, decipher, first, length)) {
        return false;
    }

    if (plainSize >= 0 && static_cast<std::uint64_t>(plainSize) < length) {
        if (!file.Truncate(static_cast<std::uint64_t>(plainSize))) {
            return false;
        }
    }
    return true;
}

}  // namespace engine
