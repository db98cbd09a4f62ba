// Where the system has minizip, it stays the product's reader and the
// engine's own is built beside it, so that the tests and the fuzzer hold
// the two to the same verdicts. engine/CMakeLists.txt chooses this file or
// zip_readers_without_minizip.cpp.

#include "engine/zip_reader.h"
#include "engine/zip_reader_inflate.h"
#include "engine/zip_reader_minizip.h"

namespace engine {

std::span<const ZipReaderKind> ZipReaders() {
    static constexpr ZipReaderKind kReaders[] = {{"minizip", &OpenMinizipZipReader},
                                                 {"inflate", &OpenInflateZipReader}};
    return kReaders;
}

}  // namespace engine
