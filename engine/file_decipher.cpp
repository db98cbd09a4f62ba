#include "engine/file_decipher.h"

#include <algorithm>

#include "net/message_cipher.h"
#include "platform/file.h"

namespace engine {
namespace {

// Files are mapped a window at a time, so that memory use stays flat
// whatever the file's size. A multiple of the cipher unit.
constexpr std::uint64_t kWindow = 32ull * 1024 * 1024;

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
        // Whole units, then the shorter rest; each unit is deciphered on
        // its own, so any split into units gives the same bytes.
        for (std::size_t at = 0; at < span; at += kCipherUnit) {
            const std::size_t unit = std::min<std::size_t>(kCipherUnit, span - at);
            decipher.Decipher(std::span<std::uint8_t>(view->data() + at, unit));
        }
    }

    if (plainSize >= 0 && static_cast<std::uint64_t>(plainSize) < length) {
        if (!file->Truncate(static_cast<std::uint64_t>(plainSize))) {
            return false;
        }
    }
    return true;
}

}  // namespace engine
