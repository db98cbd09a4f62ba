#include "engine/zip_reader_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <vector>

// The archive comes from the service over plain HTTP, so it is read as
// something anyone may have written. The member is found as the format
// intends and as minizip finds it: the end record (or the zip64 end record
// it leads to) gives the central directory, whose first entry is the
// authority on the member's method, flags, CRC-32 and sizes; the local
// header is only checked against that entry and says where the data
// begins. That is what makes members with a data descriptor readable (their
// local header has zeros where the sizes go, and a stored one could not
// be delimited at all without the directory), and it gives the declared
// size, which bounds what comes out, before a byte is unpacked. The data
// descriptor itself is never needed: the directory holds the same values.
//
// Everything the reader decides matches the minizip reader's decision on
// the same bytes, so that the fuzzer can hold the two to identical
// verdicts and output (fuzz/zip_extractor.cpp). Where minizip's reading is
// bounded and well defined it is followed as it is, oddities included:
// positions are added modulo 2^64, bytes before the archive are allowed
// (the directory's recorded offset against where it really ends), the
// entry counts are only compared with each other, a locator or zip64 end
// record said to be at the archive's very start is taken for none, and
// the extra field's blocks are walked as minizip walks them. Every record
// must lie wholly inside the archive; nothing is read as zeros.

namespace engine {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralEntrySize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;

// The end record and the zip64 locator are looked for in this many bytes
// at the end of the archive (room for the longest comment, as minizip
// looks).
constexpr std::uint64_t kEndSearchSpan = 0xFFFF;
// Packed data is read in pieces of this size, as it is needed.
constexpr std::size_t kPackedUnit = 16384;

constexpr std::uint16_t kDescriptorFlag = 8;
constexpr std::uint32_t kSizeElsewhere = 0xFFFFFFFF;
constexpr std::uint16_t kZip64ExtraId = 1;
constexpr int kStored = 0;
constexpr int kDeflated = 8;

// Fills `out` from `offset`; false when the archive ends first or cannot
// be read.
bool ReadExactly(const ByteSource& archive, std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        auto got = archive.ReadAt(out.data() + done, out.size() - done, offset + done);
        if (!got || *got == 0) {
            return false;
        }
        done += *got;
    }
    return true;
}

// A record read whole, and its little-endian fields.
template <std::size_t Size>
class Record {
  public:
    bool ReadFrom(const ByteSource& archive, std::uint64_t offset) {
        return ReadExactly(archive, offset, bytes_);
    }
    std::uint64_t Field(std::size_t at, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = width; i > 0; --i) {
            value = (value << 8) | bytes_[at + i - 1];
        }
        return value;
    }
    std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(Field(at, 2)); }
    std::uint32_t U32(std::size_t at) const { return static_cast<std::uint32_t>(Field(at, 4)); }
    std::uint64_t U64(std::size_t at) const { return Field(at, 8); }

  private:
    std::array<std::uint8_t, Size> bytes_{};
};

// The archive's last bytes, where the end records are.
struct Tail {
    std::vector<std::uint8_t> bytes;
    std::uint64_t start = 0;

    // The last position of `signature` in the tail, if any. A signature
    // at the very start of the archive does not count: no directory could
    // come before it (and minizip takes 0 for "none").
    std::optional<std::uint64_t> FindLast(std::uint32_t signature) const {
        for (std::size_t i = bytes.size() < 4 ? 0 : bytes.size() - 3; i-- > 0;) {
            const std::uint32_t here = bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) |
                                       (static_cast<std::uint32_t>(bytes[i + 3]) << 24);
            if (here == signature) {
                const std::uint64_t position = start + i;
                return position == 0 ? std::nullopt : std::optional(position);
            }
        }
        return std::nullopt;
    }
};

std::optional<Tail> ReadTail(const ByteSource& archive) {
    const auto size = archive.Size();
    if (!size) {
        return std::nullopt;
    }
    Tail tail;
    tail.start = *size - std::min(*size, kEndSearchSpan);
    tail.bytes.resize(static_cast<std::size_t>(*size - tail.start));
    if (!ReadExactly(archive, tail.start, tail.bytes)) {
        return std::nullopt;
    }
    return tail;
}

// Where the central directory is said to be, and where its end record
// lies.
struct Directory {
    std::uint64_t recordAt = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The zip64 end record that a valid locator leads to; nothing when there
// is none, and then the plain end record counts.
std::optional<std::uint64_t> FindZip64End(const ByteSource& archive, const Tail& tail) {
    const auto locatorAt = tail.FindLast(kZip64LocatorSignature);
    Record<kZip64LocatorSize> locator;
    if (!locatorAt || !locator.ReadFrom(archive, *locatorAt)) {
        return std::nullopt;
    }
    const std::uint64_t recordAt = locator.U64(8);
    Record<4> signature;
    if (locator.U32(4) != 0 || locator.U32(16) != 1 || recordAt == 0 ||
        !signature.ReadFrom(archive, recordAt) || signature.U32(0) != kZip64EndSignature) {
        return std::nullopt;
    }
    return recordAt;
}

std::optional<Directory> ReadDirectory(const ByteSource& archive) {
    const std::optional<Tail> tail = ReadTail(archive);
    if (!tail) {
        return std::nullopt;
    }
    Directory directory;
    if (const auto zip64At = FindZip64End(archive, *tail)) {
        Record<kZip64EndSize> record;
        if (!record.ReadFrom(archive, *zip64At) || record.U32(16) != 0 || record.U32(20) != 0 ||
            record.U64(24) != record.U64(32)) {
            return std::nullopt;
        }
        directory = {*zip64At, record.U64(48), record.U64(40)};
    } else {
        const auto endAt = tail->FindLast(kEndSignature);
        Record<kEndRecordSize> record;
        if (!endAt || !record.ReadFrom(archive, *endAt) || record.U16(4) != 0 ||
            record.U16(6) != 0 || record.U16(8) != record.U16(10)) {
            return std::nullopt;
        }
        directory = {*endAt, record.U32(16), record.U32(12)};
    }
    if (directory.recordAt < directory.offset + directory.size) {
        return std::nullopt;
    }
    return directory;
}

// The first member and what it takes to reach its data.
struct Layout {
    ZipMember member;
    std::uint64_t localHeaderAt = 0;
    std::uint16_t nameLength = 0;
};

// Walks the extra field's blocks by their headers, as minizip does: none of
// their values is used (the sizes in zip64 blocks are never applied, so a
// member that needs them is refused later), but a walk that runs off the end
// of the archive refuses the entry, in both readers alike. Like minizip, the
// walk does not step over the contents of a zip64 block.
bool WalkExtraField(const ByteSource& archive, std::uint64_t at, std::uint16_t length) {
    std::uint32_t walked = 0;
    while (walked < length) {
        Record<4> header;
        if (!header.ReadFrom(archive, at)) {
            return false;
        }
        const std::uint16_t size = header.U16(2);
        at += 4;
        if (header.U16(0) != kZip64ExtraId) {
            at += size;
        }
        walked += 4u + size;
    }
    return true;
}

std::optional<Layout> ReadFirstEntry(const ByteSource& archive) {
    const std::optional<Directory> directory = ReadDirectory(archive);
    if (!directory) {
        return std::nullopt;
    }
    // Bytes before the archive (a self-extractor's program) move every
    // recorded offset by the same amount.
    const std::uint64_t before = directory->recordAt - (directory->offset + directory->size);
    const std::uint64_t entryAt = directory->offset + before;
    Record<kCentralEntrySize> entry;
    if (!entry.ReadFrom(archive, entryAt) || entry.U32(0) != kCentralSignature) {
        return std::nullopt;
    }
    const std::uint16_t nameLength = entry.U16(28);
    const std::uint16_t extraLength = entry.U16(30);
    if (!WalkExtraField(archive, entryAt + kCentralEntrySize + nameLength, extraLength)) {
        return std::nullopt;
    }
    Layout layout;
    layout.member.declaredSize = entry.U32(24);
    layout.member.packedSize = entry.U32(20);
    layout.member.crc = entry.U32(16);
    layout.member.method = entry.U16(10);
    layout.member.encrypted = (entry.U16(8) & 1u) != 0;
    layout.localHeaderAt = entry.U32(42) + before;
    layout.nameLength = nameLength;
    return layout;
}

// The local header agrees with the central entry on the method and the
// name's length, and on the CRC-32 and sizes unless it leaves them to a
// data descriptor (a size of 0xFFFFFFFF there is left to zip64 fields and
// not compared either, as minizip does). Gives where the data begins.
std::optional<std::uint64_t> CheckLocalHeader(const ByteSource& archive, const Layout& layout) {
    Record<kLocalHeaderSize> local;
    if (!local.ReadFrom(archive, layout.localHeaderAt) || local.U32(0) != kLocalSignature) {
        return std::nullopt;
    }
    const ZipMember& member = layout.member;
    const bool descriptor = (local.U16(6) & kDescriptorFlag) != 0;
    const auto sizeAgrees = [&](std::uint32_t local, std::uint64_t central) {
        return descriptor || local == kSizeElsewhere || local == central;
    };
    if (local.U16(8) != member.method || (!descriptor && local.U32(14) != member.crc) ||
        !sizeAgrees(local.U32(18), member.packedSize) ||
        !sizeAgrees(local.U32(22), member.declaredSize) || local.U16(26) != layout.nameLength) {
        return std::nullopt;
    }
    return layout.localHeaderAt + kLocalHeaderSize + layout.nameLength + local.U16(28);
}

class InflateReader final : public ZipReader {
  public:
    explicit InflateReader(const ByteSource& archive)
        : archive_(archive), layout_(ReadFirstEntry(archive)) {}

    ~InflateReader() override {
        if (inflating_) {
            inflateEnd(&stream_);
        }
    }
    InflateReader(const InflateReader&) = delete;
    InflateReader& operator=(const InflateReader&) = delete;

    std::optional<ZipMember> FirstMember() override {
        if (!layout_) {
            return std::nullopt;
        }
        return layout_->member;
    }

    bool OpenFirstMember() override {
        if (!layout_ ||
            (layout_->member.method != kStored && layout_->member.method != kDeflated)) {
            return false;
        }
        const std::optional<std::uint64_t> dataAt = CheckLocalHeader(archive_, *layout_);
        if (!dataAt) {
            return false;
        }
        if (layout_->member.method == kDeflated) {
            // Raw deflate: a zip member has no zlib header.
            if (inflating_ ? inflateReset(&stream_) != Z_OK
                           : inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
                return false;
            }
            inflating_ = true;
        }
        packedAt_ = *dataAt;
        packedLeft_ = layout_->member.packedSize;
        unpackedLeft_ = layout_->member.declaredSize;
        packed_.assign(kPackedUnit, 0);
        stream_.avail_in = 0;
        return true;
    }

    // Reads as minizip's unzReadCurrentFile does, so that the two agree
    // even on where a damaged member stops: never past the declared size
    // (packed data beyond what that takes is never looked at), packed data
    // in pieces read whole as they are needed, and a piece that was damaged
    // or cut off fails with nothing of it given out.
    std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t length) override {
        std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(length, unpackedLeft_));
        std::size_t produced = 0;
        while (room > 0) {
            if (stream_.avail_in == 0 && packedLeft_ > 0) {
                const auto piece =
                    static_cast<std::size_t>(std::min<std::uint64_t>(kPackedUnit, packedLeft_));
                if (!ReadExactly(archive_, packedAt_, std::span(packed_.data(), piece))) {
                    return std::nullopt;
                }
                packedAt_ += piece;
                packedLeft_ -= piece;
                stream_.next_in = packed_.data();
                stream_.avail_in = static_cast<uInt>(piece);
            }
            std::size_t out = 0;
            if (!inflating_) {
                if (stream_.avail_in == 0) {
                    return produced;
                }
                out = std::min<std::size_t>(room, stream_.avail_in);
                std::copy_n(stream_.next_in, out, buffer + produced);
                stream_.next_in += out;
                stream_.avail_in -= static_cast<uInt>(out);
            } else {
                stream_.next_out = buffer + produced;
                stream_.avail_out = static_cast<uInt>(room);
                const int result = inflate(&stream_, Z_SYNC_FLUSH);
                out = room - stream_.avail_out;
                if (result == Z_STREAM_END) {
                    unpackedLeft_ -= out;
                    return produced + out;
                }
                if (result != Z_OK) {
                    return std::nullopt;
                }
            }
            unpackedLeft_ -= out;
            produced += out;
            room -= out;
        }
        return produced;
    }

  private:
    const ByteSource& archive_;
    const std::optional<Layout> layout_;
    z_stream stream_{};
    bool inflating_ = false;
    std::vector<std::uint8_t> packed_;
    std::uint64_t packedAt_ = 0;
    std::uint64_t packedLeft_ = 0;
    std::uint64_t unpackedLeft_ = 0;
};

}  // namespace

std::unique_ptr<ZipReader> OpenInflateZipReader(const ByteSource& archive) {
    return std::make_unique<InflateReader>(archive);
}

}  // namespace engine
