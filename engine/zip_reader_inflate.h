#pragma once
// The engine's own zip reader, on zlib's inflate alone.

#include <memory>

#include "engine/zip_reader.h"

namespace engine {

std::unique_ptr<ZipReader> OpenInflateZipReader(const ByteSource& archive);

}  // namespace engine
