// STOP-GAP for Windows builds, until the zip reader on zlib's inflate takes
// its place: MinGW-w64 has no minizip, so zip_extractor.cpp is left out of
// them and every archive counts as unreadable. A file that the service
// sends packed then fails alone ("Unpacking Failed" in the log, the failed
// status on its line); nothing packed is ever stored as the file. The
// dialog asks for compressed transfers, so on Windows only files that the
// service sends unpacked arrive until then.

#include "engine/zip_extractor.h"

namespace engine {

std::optional<ZipMember> ZipExtractor::FirstMember(const ByteSource&) {
    return std::nullopt;
}

UnzipOutcome ZipExtractor::UnzipFirstEntry(const ByteSource&, ByteSink&) {
    return UnzipOutcome{UnzipFailure::NotAnArchive, {}};
}

}  // namespace engine
