// Zip archives that the service sends instead of a file: the first member
// is unpacked into the work file that will replace the target.
//
// The input is the archive, read from memory. Checked: what comes out
// never exceeds the size the member declares, and a success is exactly
// that size; only stored and deflated members that are not encrypted are
// unpacked; the archive is read, never written.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/byte_io.h"
#include "engine/zip_extractor.h"
#include "fuzz_support.h"

namespace {

// Counts what comes out without keeping it: an archive may declare
// gigabytes.
class CountingSink final : public engine::ByteSink {
  public:
    platform::Status Write(const std::uint8_t*, std::size_t length) override {
        written += length;
        return platform::Status::Ok();
    }
    std::uint64_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(fuzz::AsText({data, size}));
    const engine::MemorySource archive(bytes);
    engine::ZipExtractor extractor;
    const std::optional<engine::ZipMember> member = extractor.FirstMember(archive);
    CountingSink sink;
    const engine::UnzipOutcome outcome = extractor.UnzipFirstEntry(archive, sink);

    if (!member) {
        FUZZ_CHECK(outcome.failure == engine::UnzipFailure::NotAnArchive);
        FUZZ_CHECK(sink.written == 0);
        return 0;
    }
    FUZZ_CHECK(sink.written <= member->declaredSize);
    const bool known = member->method == 0 || member->method == 8;
    FUZZ_CHECK((outcome.failure == engine::UnzipFailure::UnsupportedMethod) == !known);
    if (outcome.failure == engine::UnzipFailure::Encrypted) {
        FUZZ_CHECK(member->encrypted);
    }
    if (outcome.ok()) {
        FUZZ_CHECK(known && !member->encrypted);
        FUZZ_CHECK(sink.written == member->declaredSize);
    }
    FUZZ_CHECK(outcome.failure != engine::UnzipFailure::WriteFailed);
    return 0;
}
