// Which files are worth a compressed transfer: a file of its own, so that
// it does not depend on how archives are unpacked on each system.

#include <array>
#include <string_view>

#include "engine/zip_extractor.h"
#include "platform/strings.h"

namespace engine {
namespace {

constexpr std::array<std::string_view, 38> kPackedFormats = {
    "acc", "arc", "ate", "atp", "avi",  "bz2",  "dpp", "dss", "dvf", "fmf", "fxd", "fxm", "fxr",
    "fxs", "gif", "gsm", "gz",  "gzip", "jpeg", "jpg", "mov", "mp1", "mp2", "mp3", "mp4", "mpeg",
    "mpg", "msv", "ogg", "oma", "omg",  "png",  "ra",  "rar", "sit", "wma", "wmv", "zip"};

constexpr std::int64_t kSmallFile = 102400;

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

}  // namespace engine
