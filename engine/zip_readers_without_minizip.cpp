// Without minizip (Windows: Debian's MinGW zlib comes without it), the
// engine's own reader is the only one. engine/CMakeLists.txt chooses this
// file or zip_readers_with_minizip.cpp.

#include "engine/zip_reader.h"
#include "engine/zip_reader_inflate.h"

namespace engine {

std::span<const ZipReaderKind> ZipReaders() {
    static constexpr ZipReaderKind kReaders[] = {{"inflate", &OpenInflateZipReader}};
    return kReaders;
}

}  // namespace engine
