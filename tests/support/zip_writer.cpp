#include "support/zip_writer.h"

#include <minizip/zip.h>
#include <zlib.h>

namespace testing_support {

bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members, bool stored) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const auto& [name, data] : members) {
        zip_fileinfo info{};
        ok = ok && zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       stored ? 0 : Z_DEFLATED,
                                       stored ? 0 : Z_DEFAULT_COMPRESSION) == ZIP_OK;
        ok = ok &&
             zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

}  // namespace testing_support
