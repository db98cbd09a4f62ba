#include "engine/byte_io.h"

#include <algorithm>
#include <cstring>

namespace engine {

platform::Result<std::size_t> MemorySource::ReadAt(void* buffer, std::size_t length,
                                                   std::uint64_t offset) const {
    if (offset >= bytes_.size()) {
        return std::size_t{0};
    }
    const std::size_t count =
        std::min<std::size_t>(length, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
}

}  // namespace engine
