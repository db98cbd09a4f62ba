#include "tools/service/zip_body.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace qvn_service {

namespace {

// The archive's bytes and the write position of minizip's "file".
struct MemoryFile {
    std::string bytes;
    std::size_t position = 0;
};

voidpf ZCALLBACK MemoryOpen(voidpf opaque, const char* /*name*/, int /*mode*/) {
    return opaque;
}

uLong ZCALLBACK MemoryRead(voidpf /*opaque*/, voidpf stream, void* buffer, uLong size) {
    auto* file = static_cast<MemoryFile*>(stream);
    const std::size_t available =
        file->position < file->bytes.size() ? file->bytes.size() - file->position : 0;
    const std::size_t count = std::min<std::size_t>(available, size);
    std::memcpy(buffer, file->bytes.data() + file->position, count);
    file->position += count;
    return static_cast<uLong>(count);
}

uLong ZCALLBACK MemoryWrite(voidpf /*opaque*/, voidpf stream, const void* buffer, uLong size) {
    auto* file = static_cast<MemoryFile*>(stream);
    if (file->position + size > file->bytes.size()) {
        file->bytes.resize(file->position + size);
    }
    std::memcpy(file->bytes.data() + file->position, buffer, size);
    file->position += size;
    return size;
}

long ZCALLBACK MemoryTell(voidpf /*opaque*/, voidpf stream) {
    return static_cast<long>(static_cast<MemoryFile*>(stream)->position);
}

long ZCALLBACK MemorySeek(voidpf /*opaque*/, voidpf stream, uLong offset, int origin) {
    auto* file = static_cast<MemoryFile*>(stream);
    std::size_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            base = 0;
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = file->position;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = file->bytes.size();
            break;
        default:
            return -1;
    }
    if (base + offset > file->bytes.size()) {
        return -1;
    }
    file->position = base + offset;
    return 0;
}

int ZCALLBACK MemoryClose(voidpf /*opaque*/, voidpf /*stream*/) {
    return 0;
}

int ZCALLBACK MemoryError(voidpf /*opaque*/, voidpf /*stream*/) {
    return 0;
}

// Raw deflate (no zlib header), as a zip member holds it.
std::optional<std::string> Deflate(std::string_view data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (rc != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

// A field that the member's local header and its central directory entry
// both carry, at these offsets from their signatures.
struct MemberField {
    std::size_t local;
    std::size_t central;
    std::size_t width;
};

constexpr MemberField kFlags{6, 8, 2};
constexpr MemberField kMethod{8, 10, 2};
constexpr MemberField kUncompressedSize{22, 24, 4};

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
// The end record without a comment, which is how zipClose writes it here.
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kEndCentralOffset = 16;

std::uint32_t ReadLittle(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i - 1]);
    }
    return value;
}

void WriteLittle(std::string& bytes, std::size_t at, std::size_t width, std::uint32_t value) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Rewrites a field in both headers of the only member, through `change`
// (old value to new); false when the archive is not laid out as minizip
// writes a one-member archive.
template <typename Change>
bool RewriteMemberField(std::string& archive, MemberField field, Change change) {
    if (archive.size() < kEndRecordSize ||
        ReadLittle(archive, archive.size() - kEndRecordSize, 4) != kEndSignature) {
        return false;
    }
    const std::size_t central =
        ReadLittle(archive, archive.size() - kEndRecordSize + kEndCentralOffset, 4);
    if (central + kUncompressedSize.central + 4 > archive.size() ||
        ReadLittle(archive, 0, 4) != kLocalSignature ||
        ReadLittle(archive, central, 4) != kCentralSignature) {
        return false;
    }
    for (const std::size_t at : {field.local, central + field.central}) {
        WriteLittle(archive, at, field.width, change(ReadLittle(archive, at, field.width)));
    }
    return true;
}

}  // namespace

std::optional<std::string> ZipSingleMember(std::string_view name, std::string_view data,
                                           ZipDamage damage, std::uint32_t declaredSize) {
    if (data.size() > kZipMemberLimit) {
        return std::nullopt;
    }
    auto deflated = Deflate(data);
    if (!deflated || deflated->empty()) {
        return std::nullopt;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    if (damage == ZipDamage::DeflateData) {
        // Block type 11 is reserved: inflate stops with a data error at once.
        (*deflated)[0] = static_cast<char>((*deflated)[0] | 0x06);
    }
    // A reader never inflates an empty member, so damaged data alone would
    // go unnoticed there; its check value still fails.
    if (damage == ZipDamage::Crc || (damage == ZipDamage::DeflateData && data.empty())) {
        crc ^= 0xFFFFFFFFUL;
    }

    MemoryFile file;
    zlib_filefunc_def functions{};
    functions.zopen_file = MemoryOpen;
    functions.zread_file = MemoryRead;
    functions.zwrite_file = MemoryWrite;
    functions.ztell_file = MemoryTell;
    functions.zseek_file = MemorySeek;
    functions.zclose_file = MemoryClose;
    functions.zerror_file = MemoryError;
    functions.opaque = &file;

    zipFile zip = zipOpen2("memory", APPEND_STATUS_CREATE, nullptr, &functions);
    if (zip == nullptr) {
        return std::nullopt;
    }
    zip_fileinfo info{};
    info.tmz_date.tm_year = 1980;
    info.tmz_date.tm_mday = 1;
    const std::string memberName(name.empty() ? std::string_view("file") : name);
    bool ok = zipOpenNewFileInZip2(zip, memberName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   Z_DEFLATED, Z_DEFAULT_COMPRESSION, 1) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, deflated->data(),
                                   static_cast<unsigned>(deflated->size())) == ZIP_OK;
    ok = ok && zipCloseFileInZipRaw(zip, static_cast<uLong>(data.size()), crc) == ZIP_OK;
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok) {
        return std::nullopt;
    }
    // minizip writes neither another method than the ones it can pack with
    // nor a flagged member without enciphering it, so the headers are
    // changed afterwards.
    constexpr std::uint32_t kBzip2 = 12;
    constexpr std::uint32_t kEncryptedFlag = 1;
    std::string& archive = file.bytes;
    const bool rewritten =
        damage == ZipDamage::Bzip2Method
            ? RewriteMemberField(archive, kMethod, [](std::uint32_t) { return kBzip2; })
        : damage == ZipDamage::Encrypted
            ? RewriteMemberField(archive, kFlags,
                                 [](std::uint32_t flags) { return flags | kEncryptedFlag; })
        : damage == ZipDamage::DeclaredSize
            ? RewriteMemberField(archive, kUncompressedSize,
                                 [declaredSize](std::uint32_t) { return declaredSize; })
            : true;
    if (!rewritten) {
        return std::nullopt;
    }
    return std::move(archive);
}

}  // namespace qvn_service
