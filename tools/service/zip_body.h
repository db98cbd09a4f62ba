#pragma once
// Zip archives built in memory for compressed file replies: one member,
// deflated. Test faults can damage the member's deflate data or its CRC-32,
// or make its headers claim what the data is not.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvn_service {

enum class ZipDamage {
    None,
    DeflateData,  // the first deflate block names an invalid block type (and an
                  // empty member, which is never inflated, gets a wrong CRC-32)
    Crc,          // the recorded CRC-32 does not match the data
    // The rest change only the member's two headers (local and central),
    // so that the data itself would unpack as usual:
    Bzip2Method,   // the compression method says 12 (bzip2) over deflate data
    Encrypted,     // general-purpose flag bit 0 (encrypted) is set
    DeclaredSize,  // the uncompressed size says `declaredSize`
};

// Members larger than this go out unpacked: the archive is held in memory.
inline constexpr std::size_t kZipMemberLimit = std::size_t{256} << 20;

// The archive, or nothing when zlib or minizip fail or `data` is larger
// than kZipMemberLimit. `declaredSize` is used by ZipDamage::DeclaredSize
// only.
std::optional<std::string> ZipSingleMember(std::string_view name, std::string_view data,
                                           ZipDamage damage, std::uint32_t declaredSize = 0);

}  // namespace qvn_service
