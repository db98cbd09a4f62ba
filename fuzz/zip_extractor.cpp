// Zip archives that the service sends instead of a file: the first member
// is unpacked into the work file that will replace the target.
//
// The input is the archive, read from memory, and every zip reader the
// build has unpacks it (on Linux minizip's, the product's, and the
// engine's own on zlib's inflate, which Windows uses). Checked for each:
// what comes out never exceeds the size the member declares, and a success
// is exactly that size; only stored and deflated members that are not
// encrypted and need no zip64 sizes are unpacked; the archive is read,
// never written.
//
// And the readers against each other: the same member description, the
// same verdict and the same bytes written, a failure's partial output
// included. They are built to agree everywhere: the own reader follows
// minizip's reading wherever that is bounded and well defined, and the
// minizip reader's stream reports a read past the end of the archive as an
// error instead of letting minizip take the missing header bytes as zeros.
// They may legitimately differ only where the input cannot reach here:
// - a source that fails to read (an I/O error) or memory that runs out:
//   the two may notice at different points;
// - another build of minizip than Debian's 1.1 on a 64-bit system, which
//   never applies zip64 extra fields, takes a record at offset 0 as
//   "none" and reads packed data in 16 KiB pieces; the own reader copies
//   exactly that behaviour, so a minizip that reads otherwise shows up
//   here first.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/byte_io.h"
#include "engine/zip_extractor.h"
#include "engine/zip_reader.h"
#include "fuzz_support.h"

namespace {

// Counts and hashes what comes out without keeping it: an archive may
// declare gigabytes.
class HashingSink final : public engine::ByteSink {
  public:
    platform::Status Write(const std::uint8_t* data, std::size_t length) override {
        for (std::size_t i = 0; i < length; ++i) {
            hash = (hash ^ data[i]) * 0x100000001b3ULL;  // FNV-1a
        }
        written += length;
        return platform::Status::Ok();
    }
    std::uint64_t written = 0;
    std::uint64_t hash = 0xcbf29ce484222325ULL;
};

struct Verdict {
    std::optional<engine::ZipMember> member;
    engine::UnzipFailure failure = engine::UnzipFailure::None;
    std::uint64_t written = 0;
    std::uint64_t hash = 0;
};

Verdict Unzip(const engine::ZipReaderKind& reader, const engine::ByteSource& archive) {
    engine::ZipExtractor extractor(reader);
    Verdict verdict;
    verdict.member = extractor.FirstMember(archive);
    HashingSink sink;
    const engine::UnzipOutcome outcome = extractor.UnzipFirstEntry(archive, sink);
    verdict.failure = outcome.failure;
    verdict.written = sink.written;
    verdict.hash = sink.hash;

    const std::optional<engine::ZipMember>& member = verdict.member;
    if (!member) {
        FUZZ_CHECK(outcome.failure == engine::UnzipFailure::NotAnArchive);
        FUZZ_CHECK(sink.written == 0);
        return verdict;
    }
    FUZZ_CHECK(sink.written <= member->declaredSize);
    const bool known = member->method == 0 || member->method == 8;
    FUZZ_CHECK((outcome.failure == engine::UnzipFailure::UnsupportedMethod) == !known);
    if (outcome.failure == engine::UnzipFailure::Encrypted) {
        FUZZ_CHECK(member->encrypted);
    }
    if (outcome.failure == engine::UnzipFailure::Zip64) {
        FUZZ_CHECK(member->declaredSize == 0xFFFFFFFF || member->packedSize == 0xFFFFFFFF);
    }
    if (outcome.ok()) {
        FUZZ_CHECK(known && !member->encrypted);
        FUZZ_CHECK(sink.written == member->declaredSize);
    }
    if (outcome.failure == engine::UnzipFailure::UnsupportedMethod ||
        outcome.failure == engine::UnzipFailure::Encrypted ||
        outcome.failure == engine::UnzipFailure::Zip64) {
        FUZZ_CHECK(sink.written == 0);
    }
    FUZZ_CHECK(outcome.failure != engine::UnzipFailure::WriteFailed);
    return verdict;
}

bool SameMember(const std::optional<engine::ZipMember>& a,
                const std::optional<engine::ZipMember>& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return a->declaredSize == b->declaredSize && a->packedSize == b->packedSize &&
           a->crc == b->crc && a->method == b->method && a->encrypted == b->encrypted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(fuzz::AsText({data, size}));
    const engine::MemorySource archive(bytes);
    std::optional<Verdict> first;
    for (const engine::ZipReaderKind& reader : engine::ZipReaders()) {
        const Verdict verdict = Unzip(reader, archive);
        if (!first) {
            first = verdict;
            continue;
        }
        FUZZ_CHECK(SameMember(verdict.member, first->member));
        FUZZ_CHECK(verdict.failure == first->failure);
        FUZZ_CHECK(verdict.written == first->written);
        FUZZ_CHECK(verdict.hash == first->hash);
    }
    return 0;
}
