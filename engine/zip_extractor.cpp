#include "engine/zip_extractor.h"

#include <zlib.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/strings.h"

namespace engine {
namespace {

constexpr std::array<std::string_view, 38> kPackedFormats = {
    "acc", "arc", "ate", "atp", "avi",  "bz2",  "dpp", "dss", "dvf", "fmf", "fxd", "fxm", "fxr",
    "fxs", "gif", "gsm", "gz",  "gzip", "jpeg", "jpg", "mov", "mp1", "mp2", "mp3", "mp4", "mpeg",
    "mpg", "msv", "ogg", "oma", "omg",  "png",  "ra",  "rar", "sit", "wma", "wmv", "zip"};

constexpr std::int64_t kSmallFile = 102400;
constexpr std::size_t kCopyUnit = 16384;
constexpr int kStored = 0;
constexpr int kDeflated = 8;
// A size field that says its value is in a zip64 extra field instead.
constexpr std::uint64_t kZip64Size = 0xFFFFFFFF;

}  // namespace

bool IsCompressible(std::string_view name, std::int64_t size) {
    if (size > 0 && size < kSmallFile) {
        return false;
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return true;
    }
    const std::string_view extension = name.substr(dot + 1);
    for (std::string_view packed : kPackedFormats) {
        if (platform::EqualsNoCase(extension, packed)) {
            return false;
        }
    }
    return true;
}

ZipExtractor::ZipExtractor() : ZipExtractor(ZipReaders().front()) {}

std::optional<ZipMember> ZipExtractor::FirstMember(const ByteSource& archive) {
    return open_(archive)->FirstMember();
}

UnzipOutcome ZipExtractor::UnzipFirstEntry(const ByteSource& archive, ByteSink& target) {
    const std::unique_ptr<ZipReader> reader = open_(archive);
    const std::optional<ZipMember> member = reader->FirstMember();
    if (!member) {
        return {UnzipFailure::NotAnArchive, {}};
    }
    // Other methods would come out as they are packed, unchecked.
    if (member->method != kStored && member->method != kDeflated) {
        return {UnzipFailure::UnsupportedMethod, {}};
    }
    if (member->encrypted) {
        return {UnzipFailure::Encrypted, {}};
    }
    // Neither reader takes sizes from zip64 fields (Debian's minizip never
    // applies them), so such a member is refused before anything is
    // written rather than read as if it were 4 GiB less one byte.
    if (member->declaredSize == kZip64Size || member->packedSize == kZip64Size) {
        return {UnzipFailure::Zip64, {}};
    }
    if (!reader->OpenFirstMember()) {
        return {UnzipFailure::NotAnArchive, {}};
    }
    UnzipOutcome outcome;
    std::uint64_t written = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<std::uint8_t> buffer(kCopyUnit, 0);
    for (;;) {
        const std::optional<std::size_t> got = reader->Read(buffer.data(), buffer.size());
        if (!got) {
            outcome.failure = UnzipFailure::BadData;
            break;
        }
        if (*got == 0) {
            break;
        }
        written += *got;
        if (written > member->declaredSize) {
            // No more than it declares, however much the data inflates to.
            outcome.failure = UnzipFailure::SizeMismatch;
            break;
        }
        crc = crc32(crc, buffer.data(), static_cast<uInt>(*got));
        if (auto status = target.Write(buffer.data(), *got); !status) {
            outcome = {UnzipFailure::WriteFailed, status.error()};
            break;
        }
    }
    if (outcome.ok() && written != member->declaredSize) {
        outcome.failure = UnzipFailure::SizeMismatch;
    }
    if (outcome.ok() && crc != member->crc) {
        outcome.failure = UnzipFailure::BadData;
    }
    return outcome;
}

}  // namespace engine
