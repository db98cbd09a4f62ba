#include "engine/zip_extractor.h"

#include <minizip/unzip.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/file.h"
#include "platform/strings.h"

namespace engine {
namespace {

constexpr std::size_t kCopyUnit = 16384;
constexpr int kStored = 0;
constexpr int kDeflated = Z_DEFLATED;

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

uLong ReadStream(voidpf, voidpf opaque, void* buffer, uLong size) {
    auto* stream = static_cast<ArchiveStream*>(opaque);
    uLong total = 0;
    while (total < size) {
        auto got = stream->file->ReadAt(static_cast<char*>(buffer) + total, size - total,
                                        stream->position);
        if (!got) {
            stream->failed = true;
            break;
        }
        if (*got == 0) {
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

std::optional<ZipMember> CurrentMember(void* archive) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return std::nullopt;
    }
    return ZipMember{info.uncompressed_size, static_cast<int>(info.compression_method),
                     (info.flag & 1u) != 0};
}

}  // namespace

std::optional<ZipMember> ZipExtractor::FirstMember(const ByteSource& archive) {
    const Archive opened = OpenArchive(archive);
    return opened ? CurrentMember(opened.get()) : std::nullopt;
}

UnzipOutcome ZipExtractor::UnzipFirstEntry(const ByteSource& archiveFile, ByteSink& target) {
    Archive archive = OpenArchive(archiveFile);
    const std::optional<ZipMember> member = archive ? CurrentMember(archive.get()) : std::nullopt;
    if (!member) {
        return {UnzipFailure::NotAnArchive, {}};
    }
    // Other methods would come out as they are packed, unchecked.
    if (member->method != kStored && member->method != kDeflated) {
        return {UnzipFailure::UnsupportedMethod, {}};
    }
    if (member->encrypted) {
        return {UnzipFailure::Encrypted, {}};
    }
    if (unzOpenCurrentFile(archive.get()) != UNZ_OK) {
        return {UnzipFailure::NotAnArchive, {}};
    }
    UnzipOutcome outcome;
    std::uint64_t written = 0;
    std::vector<char> buffer(kCopyUnit, '\0');
    for (;;) {
        const int got =
            unzReadCurrentFile(archive.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got == 0) {
            break;
        }
        if (got < 0) {
            outcome.failure = UnzipFailure::BadData;
            break;
        }
        written += static_cast<std::uint64_t>(got);
        if (written > member->declaredSize) {
            // No more than it declares, however much the data inflates to.
            outcome.failure = UnzipFailure::SizeMismatch;
            break;
        }
        if (auto status = target.Write(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                       static_cast<std::size_t>(got));
            !status) {
            outcome = {UnzipFailure::WriteFailed, status.error()};
            break;
        }
    }
    // Closing the member also checks its CRC-32 once all of it was read.
    const int closed = unzCloseCurrentFile(archive.get());
    if (outcome.ok() && written != member->declaredSize) {
        outcome.failure = UnzipFailure::SizeMismatch;
    }
    if (outcome.ok() && closed != UNZ_OK) {
        outcome.failure = UnzipFailure::BadData;
    }
    return outcome;
}

}  // namespace engine
