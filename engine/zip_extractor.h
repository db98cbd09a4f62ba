#pragma once
// Compressed transfers: which names are worth packing, and unpacking the
// first member of a zip archive that the service sent instead of the file.

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// False for files below 100 KB (a size of 0 means "not given") and for
// names whose extension is an already compressed format.
bool IsCompressible(std::string_view name, std::int64_t size);

class ZipExtractor {
  public:
    // Extracts the archive's first member into `target` (created anew).
    // True when the member was read completely and its CRC-32 matched.
    bool UnzipFirstEntry(const std::string& target, const std::string& archive);
};

}  // namespace engine
