#pragma once
// The zip reader on minizip's unzip library; built only where the system
// has minizip.

#include <memory>

#include "engine/zip_reader.h"

namespace engine {

std::unique_ptr<ZipReader> OpenMinizipZipReader(const ByteSource& archive);

}  // namespace engine
