#pragma once
// Compressed transfers: which names are worth packing, and unpacking the
// first member of a zip archive that the service sent instead of the file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/byte_io.h"

namespace engine {

// False for files below 100 KB (a size of 0 means "not given") and for
// names whose extension is an already compressed format.
bool IsCompressible(std::string_view name, std::int64_t size);

// The first member of an archive as the archive declares it.
struct ZipMember {
    std::uint64_t declaredSize = 0;  // unpacked
    int method = 0;
    bool encrypted = false;
};

enum class UnzipFailure {
    None,
    NotAnArchive,       // unreadable, or without members
    UnsupportedMethod,  // neither stored nor deflated
    Encrypted,
    BadData,       // the packed data is damaged, or its CRC-32 does not match
    SizeMismatch,  // the member unpacks to more or less than it declares
    WriteFailed,
};

struct UnzipOutcome {
    UnzipFailure failure = UnzipFailure::None;
    platform::SysError writeError;  // for WriteFailed
    bool ok() const { return failure == UnzipFailure::None; }
};

class ZipExtractor {
  public:
    // Nothing when the archive cannot be read or has no member.
    std::optional<ZipMember> FirstMember(const ByteSource& archive);

    // Writes the archive's first member into `target`. Only stored and
    // deflated members that are not encrypted are unpacked; unpacking
    // stops as soon as more comes out than the member declares, and it
    // succeeds only when exactly the declared size came out and its CRC-32
    // matched. The target may hold part of the member after a failure.
    UnzipOutcome UnzipFirstEntry(const ByteSource& archive, ByteSink& target);
};

}  // namespace engine
