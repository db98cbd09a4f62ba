#pragma once
// Builds zip archives for tests, with the members' data as given, laid out
// as the format describes: local headers and data, the central directory,
// the end record. The records' offsets let a test change any field after.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct ZipMemberSpec {
    std::string name;
    std::string data;
    bool stored = false;
    // General-purpose flag bit 3: the local header's CRC-32 and sizes are
    // zero and a data descriptor (with its signature) follows the data.
    bool descriptor = false;
    std::string centralExtra;  // the extra fields, as they are written
    std::string localExtra;
};

enum class ZipEnd {
    Plain,
    // The end record's fields say 0xFFFF and 0xFFFFFFFF; a zip64 end record
    // and its locator, before it, give the directory.
    Zip64,
};

struct ZipLayout {
    std::string bytes;
    std::vector<std::size_t> locals;    // each member's local header
    std::vector<std::size_t> centrals;  // each member's central entry
    std::size_t end = 0;                // the end record
};

ZipLayout BuildZip(const std::vector<ZipMemberSpec>& members, ZipEnd end = ZipEnd::Plain);

// Writes an archive of deflated (or stored) members; false when the file
// cannot be written.
bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members, bool stored = false);

// `value` as `width` little-endian bytes, and the same written over
// `bytes` at `at`.
std::string Little(std::uint64_t value, std::size_t width);
void PutLittle(std::string& bytes, std::size_t at, std::size_t width, std::uint64_t value);

}  // namespace testing_support
