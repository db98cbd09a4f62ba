#pragma once
// The archive-reading half of unpacking a zip reply. A reader finds the
// first member of an archive and hands out its data unpacked; what is
// checked and written (ZipExtractor) is the same whichever reader it is.
//
// Two readers exist: minizip's, where the system has the library (it stays
// the product's reader there), and the engine's own on zlib's inflate,
// which is built everywhere so that both can be held to the same verdicts
// (Debian's zlib for MinGW comes without minizip).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "engine/byte_io.h"

namespace engine {

// The first member of an archive as its central directory entry declares it.
struct ZipMember {
    std::uint64_t declaredSize = 0;  // unpacked
    std::uint64_t packedSize = 0;
    std::uint32_t crc = 0;
    int method = 0;
    bool encrypted = false;
};

class ZipReader {
  public:
    virtual ~ZipReader() = default;
    // Nothing when the archive cannot be read or has no member.
    virtual std::optional<ZipMember> FirstMember() = 0;
    // Checks the member's local header against its central entry and
    // prepares to read its data; false when they disagree or the header is
    // unreadable. Only for stored and deflated members.
    virtual bool OpenFirstMember() = 0;
    // The next piece of the member, unpacked: at most `length` bytes and
    // never more than the member declares in all; 0 at its end; nothing
    // when its data is damaged or cannot be read.
    virtual std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t length) = 0;
};

using ZipReaderFactory = std::unique_ptr<ZipReader> (*)(const ByteSource& archive);

struct ZipReaderKind {
    std::string_view name;
    ZipReaderFactory open = nullptr;
};

// The readers this build has, the product's first.
std::span<const ZipReaderKind> ZipReaders();

}  // namespace engine
