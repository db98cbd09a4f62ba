#include "platform/file.h"

#include <string>
#include <utility>

// What files and mappings do the same way on every system, on top of each
// system's File and Mapping.
namespace platform {
namespace {

Result<std::string> ReadStart(const std::string& path, std::size_t limit, FileAccess access) {
    auto file = File::Open(path, access);
    if (!file) {
        return file.error();
    }
    std::string bytes(limit, '\0');
    std::size_t got = 0;
    while (got < limit) {
        auto n = file->Read(bytes.data() + got, limit - got);
        if (!n) {
            return n.error();
        }
        if (*n == 0) {
            break;
        }
        got += *n;
    }
    bytes.resize(got);
    return bytes;
}

}  // namespace

Result<std::string> ReadFileStart(const std::string& path, std::size_t limit) {
    return ReadStart(path, limit, FileAccess::ReadShared);
}

Result<std::string> ReadRegularFileStart(const std::string& path, std::size_t limit) {
    return ReadStart(path, limit, FileAccess::ReadRegularOnly);
}

Status WriteWholeFile(const std::string& path, const std::string& bytes) {
    auto file = File::Open(path, FileAccess::CreateAlways);
    if (!file) {
        return file.error();
    }
    return file->WriteAll(bytes.data(), bytes.size());
}

Mapping::Mapping(Mapping&& other) noexcept
    : base_(std::exchange(other.base_, nullptr)),
      baseLength_(std::exchange(other.baseLength_, 0)),
      view_(std::exchange(other.view_, nullptr)),
      length_(std::exchange(other.length_, 0)) {}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
    if (this != &other) {
        Unmap();
        base_ = std::exchange(other.base_, nullptr);
        baseLength_ = std::exchange(other.baseLength_, 0);
        view_ = std::exchange(other.view_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

Mapping::~Mapping() {
    Unmap();
}

}  // namespace platform
