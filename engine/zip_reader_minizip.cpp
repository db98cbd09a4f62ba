#include "engine/zip_reader_minizip.h"

#include <minizip/unzip.h>

namespace engine {
namespace {

struct ArchiveCloser {
    void operator()(void* archive) const { unzClose(archive); }
};
using Archive = std::unique_ptr<void, ArchiveCloser>;

// The archive is read by position from its source (the file already open,
// which is never opened again by name: a name can be taken over
// meanwhile).
struct ArchiveStream {
    const ByteSource* file = nullptr;
    std::uint64_t position = 0;
    bool failed = false;
};

voidpf OpenStream(voidpf, const void* file, int) {
    return new ArchiveStream{static_cast<const ByteSource*>(file)};
}

// A read that comes up short counts as an error: minizip otherwise takes
// the header fields past the end of a cut archive as zeros.
uLong ReadStream(voidpf, voidpf opaque, void* buffer, uLong size) {
    auto* stream = static_cast<ArchiveStream*>(opaque);
    uLong total = 0;
    while (total < size) {
        auto got = stream->file->ReadAt(static_cast<char*>(buffer) + total, size - total,
                                        stream->position);
        if (!got || *got == 0) {
            stream->failed = true;
            break;
        }
        stream->position += *got;
        total += static_cast<uLong>(*got);
    }
    return total;
}

uLong WriteStream(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T TellStream(voidpf, voidpf opaque) {
    return static_cast<ArchiveStream*>(opaque)->position;
}

long SeekStream(voidpf, voidpf opaque, ZPOS64_T offset, int origin) {
    auto* stream = static_cast<ArchiveStream*>(opaque);
    std::uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = stream->position;
            break;
        case ZLIB_FILEFUNC_SEEK_END: {
            auto size = stream->file->Size();
            if (!size) {
                return -1;
            }
            base = *size;
            break;
        }
        default:
            return -1;
    }
    stream->position = base + offset;
    return 0;
}

int CloseStream(voidpf, voidpf opaque) {
    delete static_cast<ArchiveStream*>(opaque);
    return 0;
}

int StreamError(voidpf, voidpf opaque) {
    return static_cast<ArchiveStream*>(opaque)->failed ? 1 : 0;
}

Archive OpenArchive(const ByteSource& file) {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = &OpenStream;
    functions.zread_file = &ReadStream;
    functions.zwrite_file = &WriteStream;
    functions.ztell64_file = &TellStream;
    functions.zseek64_file = &SeekStream;
    functions.zclose_file = &CloseStream;
    functions.zerror_file = &StreamError;
    Archive archive(unzOpen2_64(&file, &functions));
    if (archive && unzGoToFirstFile(archive.get()) != UNZ_OK) {
        archive.reset();
    }
    return archive;
}

class MinizipReader final : public ZipReader {
  public:
    explicit MinizipReader(const ByteSource& file) : archive_(OpenArchive(file)) {}

    std::optional<ZipMember> FirstMember() override {
        unz_file_info64 info{};
        if (!archive_ || unzGetCurrentFileInfo64(archive_.get(), &info, nullptr, 0, nullptr, 0,
                                                 nullptr, 0) != UNZ_OK) {
            return std::nullopt;
        }
        return ZipMember{info.uncompressed_size, info.compressed_size,
                         static_cast<std::uint32_t>(info.crc),
                         static_cast<int>(info.compression_method), (info.flag & 1u) != 0};
    }

    // Closing the archive closes the member too.
    bool OpenFirstMember() override {
        return archive_ && unzOpenCurrentFile(archive_.get()) == UNZ_OK;
    }

    std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t length) override {
        const int got = unzReadCurrentFile(archive_.get(), buffer, static_cast<unsigned>(length));
        if (got < 0) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }

  private:
    Archive archive_;
};

}  // namespace

std::unique_ptr<ZipReader> OpenMinizipZipReader(const ByteSource& archive) {
    return std::make_unique<MinizipReader>(archive);
}

}  // namespace engine
