#pragma once
// Turning a received file whose body the service enciphered back into
// plain content, in place.

#include <cstdint>
#include <string>

#include "net/key_table.h"
#include "platform/file.h"

namespace engine {

struct DecipherRequest {
    bool restart = false;     // the file continues a local copy of localFileSize bytes
    bool incomplete = false;  // the transfer was cut short
    bool enciphered = false;
    std::int64_t plainSize = 0;  // the content's size before enciphering
    std::int64_t keyIndex = 0;   // the stream's seed
    std::int64_t localFileSize = 0;
};

// Deciphers the file (open for reading and writing) in place in 2048-byte
// units, a block at a time on up to four threads, then cuts it to the
// plain size. An incomplete file is first cut back to whole units (an
// empty one is left for the caller to remove) so that a later run can
// continue it. A restart skips the local copy's whole units, which are
// plain already. True on success or when there is nothing to do.
bool DecipherDownloadedFile(platform::File& file, const DecipherRequest& request,
                            const net::KeyTable& table);

inline constexpr std::int64_t kCipherUnit = 2048;

}  // namespace engine
