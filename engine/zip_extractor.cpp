#include "engine/zip_extractor.h"

#include <minizip/unzip.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/file.h"
#include "platform/strings.h"

namespace engine {
namespace {

constexpr std::array<std::string_view, 38> kPackedFormats = {
    "acc", "arc", "ate", "atp", "avi",  "bz2",  "dpp", "dss", "dvf", "fmf", "fxd", "fxm", "fxr",
    "fxs", "gif", "gsm", "gz",  "gzip", "jpeg", "jpg", "mov", "mp1", "mp2", "mp3", "mp4", "mpeg",
    "mpg", "msv", "ogg", "oma", "omg",  "png",  "ra",  "rar", "sit", "wma", "wmv", "zip"};

constexpr std::int64_t kSmallFile = 102400;
constexpr std::size_t kCopyUnit = 16384;

struct ArchiveCloser {
    void operator()(void* archive) const { unzClose(archive); }
};
using Archive = std::unique_ptr<void, ArchiveCloser>;

}  // namespace

bool IsCompressible(std::string_view name, std::int64_t size) {
    if (size > 0 && size < kSmallFile) {
        return false;
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return true;
    }
    const std::string_view extension = name.substr(dot + 1);
    for (std::string_view packed : kPackedFormats) {
        if (platform::EqualsNoCase(extension, packed)) {
            return false;
        }
    }
    return true;
}

bool ZipExtractor::UnzipFirstEntry(const std::string& target, const std::string& archivePath) {
    Archive archive(unzOpen(archivePath.c_str()));
    if (!archive) {
        return false;
    }
    if (unzGoToFirstFile(archive.get()) != UNZ_OK) {
        return false;
    }
    if (unzOpenCurrentFile(archive.get()) != UNZ_OK) {
        return false;
    }
    bool result = true;
    {
        auto output = platform::File::Open(target, platform::FileAccess::CreateAlways);
        std::vector<char> buffer(kCopyUnit, '\0');
        for (;;) {
            const int got = unzReadCurrentFile(archive.get(), buffer.data(),
                                               static_cast<unsigned>(buffer.size()));
            if (got == 0) {
                break;
            }
            if (got < 0) {
                result = false;
                break;
            }
            if (!output || !output->WriteAll(buffer.data(), static_cast<std::size_t>(got))) {
                result = false;
            }
        }
    }
    // Closing the member also checks its CRC-32.
    if (unzCloseCurrentFile(archive.get()) != UNZ_OK) {
        result = false;
    }
    if (unzClose(archive.release()) != UNZ_OK) {
        return false;
    }
    return result;
}

}  // namespace engine
