#pragma once
// Compressed transfers: which names are worth packing, and unpacking the
// first member of a zip archive that the service sent instead of the file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/byte_io.h"
#include "engine/zip_reader.h"

namespace engine {

// False for files below 100 KB (a size of 0 means "not given") and for
// names whose extension is an already compressed format.
bool IsCompressible(std::string_view name, std::int64_t size);

enum class UnzipFailure {
    None,
    NotAnArchive,       // unreadable, or without members
    UnsupportedMethod,  // neither stored nor deflated
    Encrypted,
    BadData,       // the packed data is damaged, or its CRC-32 does not match
    SizeMismatch,  // the member unpacks to more or less than it declares
    WriteFailed,
    Zip64,  // a size given as 0xFFFFFFFF: the real one would be in a zip64 field
};

struct UnzipOutcome {
    UnzipFailure failure = UnzipFailure::None;
    platform::SysError writeError;  // for WriteFailed
    bool ok() const { return failure == UnzipFailure::None; }
};

class ZipExtractor {
  public:
    // With the product's reader (the first of ZipReaders()).
    ZipExtractor();
    explicit ZipExtractor(const ZipReaderKind& reader) : open_(reader.open) {}

    // Nothing when the archive cannot be read or has no member.
    std::optional<ZipMember> FirstMember(const ByteSource& archive);

    // Writes the archive's first member into `target`. Only stored and
    // deflated members that are not encrypted and need no zip64 sizes are
    // unpacked; unpacking stops as soon as more comes out than the member
    // declares, and it succeeds only when exactly the declared size came
    // out and its CRC-32 matched. The target may hold part of the member
    // after a failure.
    UnzipOutcome UnzipFirstEntry(const ByteSource& archive, ByteSink& target);

  private:
    ZipReaderFactory open_;
};

}  // namespace engine
