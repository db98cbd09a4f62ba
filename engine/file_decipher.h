#pragma once
// Turning a received file whose body the service enciphered back into
// plain content, in place.

#include <cstdint>
#include <string>

#include "net/key_table.h"

namespace engine {

struct DecipherRequest {
    bool restart = false;     // the file continues a local copy of localFileSize bytes
    bool incomplete = false;  // the transfer was cut short
    bool enciphered = false;
    std::int64_t plainSize = 0;  // the content's size before enciphering
    std::int64_t keyIndex = 0;   // the stream's seed
    std::int64_t localFileSize = 0;
};

// Deciphers the file in place in 2048-byte units, a block at a time on
// every core, then cuts it to the plain size. An incomplete file is first
// cut back to whole units (deleted when nothing is left) so that a later
// run can continue it. A restart skips the local copy's whole units, which
// are plain already. True on success or when there is nothing to do.
bool DecipherDownloadedFile(const std::string& path, const DecipherRequest& request,
                            const net::KeyTable& table);

inline constexpr std::int64_t kCipherUnit = 2048;

}  // namespace engine
