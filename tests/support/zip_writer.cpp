#include "support/zip_writer.h"

#include <zlib.h>

#include <fstream>

namespace testing_support {
namespace {

constexpr std::uint16_t kVersion = 20;
constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint16_t kDescriptorFlag = 8;
constexpr std::uint16_t kDeflated = 8;

// Raw deflate (no zlib header), as a member holds it.
std::string Deflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

std::string Little(std::uint64_t value, std::size_t width) {
    std::string bytes(width, '\0');
    PutLittle(bytes, 0, width, value);
    return bytes;
}

void PutLittle(std::string& bytes, std::size_t at, std::size_t width, std::uint64_t value) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

ZipLayout BuildZip(const std::vector<ZipMemberSpec>& members, ZipEnd end) {
    ZipLayout layout;
    std::string central;
    for (const ZipMemberSpec& member : members) {
        const std::string packed = member.stored ? member.data : Deflate(member.data);
        const auto crc =
            static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(member.data.data()),
                                             static_cast<uInt>(member.data.size())));
        const std::uint16_t flags = member.descriptor ? kDescriptorFlag : 0;
        const std::uint16_t method = member.stored ? 0 : kDeflated;
        const std::size_t localAt = layout.bytes.size();
        // Version, flags, method, time and date; CRC-32 and both sizes.
        const std::string common = Little(flags, 2) + Little(method, 2) + Little(0x0021'0000, 4);
        const std::string values =
            Little(crc, 4) + Little(packed.size(), 4) + Little(member.data.size(), 4);
        layout.locals.push_back(localAt);
        layout.bytes += Little(0x04034b50, 4) + Little(kVersion, 2) + common +
                        (member.descriptor ? std::string(12, '\0') : values) +
                        Little(member.name.size(), 2) + Little(member.localExtra.size(), 2) +
                        member.name + member.localExtra + packed;
        if (member.descriptor) {
            layout.bytes += Little(0x08074b50, 4) + values;
        }
        layout.centrals.push_back(central.size());
        central += Little(0x02014b50, 4) + Little(kVersion, 2) + Little(kVersion, 2) + common +
                   values + Little(member.name.size(), 2) + Little(member.centralExtra.size(), 2) +
                   Little(0, 2) + Little(0, 2) + Little(0, 2) + Little(0, 4) + Little(localAt, 4) +
                   member.name + member.centralExtra;
    }
    const std::size_t centralAt = layout.bytes.size();
    for (std::size_t& at : layout.centrals) {
        at += centralAt;
    }
    layout.bytes += central;
    const std::uint64_t count = members.size();
    const bool zip64 = end == ZipEnd::Zip64;
    if (zip64) {
        const std::size_t recordAt = layout.bytes.size();
        layout.bytes += Little(0x06064b50, 4) + Little(44, 8) + Little(kVersionZip64, 2) +
                        Little(kVersionZip64, 2) + Little(0, 4) + Little(0, 4) + Little(count, 8) +
                        Little(count, 8) + Little(central.size(), 8) + Little(centralAt, 8);
        layout.bytes += Little(0x07064b50, 4) + Little(0, 4) + Little(recordAt, 8) + Little(1, 4);
    }
    layout.end = layout.bytes.size();
    layout.bytes += Little(0x06054b50, 4) + Little(0, 2) + Little(0, 2) +
                    Little(zip64 ? 0xFFFF : count, 2) + Little(zip64 ? 0xFFFF : count, 2) +
                    Little(zip64 ? 0xFFFFFFFF : central.size(), 4) +
                    Little(zip64 ? 0xFFFFFFFF : centralAt, 4) + Little(0, 2);
    return layout;
}

bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members, bool stored) {
    std::vector<ZipMemberSpec> specs;
    for (const auto& [name, data] : members) {
        ZipMemberSpec& spec = specs.emplace_back();
        spec.name = name;
        spec.data = data;
        spec.stored = stored;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << BuildZip(specs).bytes;
    return static_cast<bool>(file.flush());
}

}  // namespace testing_support
