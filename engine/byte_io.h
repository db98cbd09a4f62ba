#pragma once
// Bytes read by position and bytes written in order: a file in the
// program, memory in tests and fuzzing, behind the same two interfaces.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file.h"

namespace engine {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // At most `length` bytes from `offset`; 0 at the end.
    virtual platform::Result<std::size_t> ReadAt(void* buffer, std::size_t length,
                                                 std::uint64_t offset) const = 0;
    virtual platform::Result<std::uint64_t> Size() const = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual platform::Status Write(const std::uint8_t* data, std::size_t length) = 0;
};

class FileSource final : public ByteSource {
  public:
    explicit FileSource(const platform::File& file) : file_(file) {}
    platform::Result<std::size_t> ReadAt(void* buffer, std::size_t length,
                                         std::uint64_t offset) const override {
        return file_.ReadAt(buffer, length, offset);
    }
    platform::Result<std::uint64_t> Size() const override { return file_.Size(); }

  private:
    const platform::File& file_;
};

class FileSink final : public ByteSink {
  public:
    explicit FileSink(platform::File& file) : file_(file) {}
    platform::Status Write(const std::uint8_t* data, std::size_t length) override {
        return file_.WriteAll(data, length);
    }

  private:
    platform::File& file_;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    platform::Result<std::size_t> ReadAt(void* buffer, std::size_t length,
                                         std::uint64_t offset) const override;
    platform::Result<std::uint64_t> Size() const override { return bytes_.size(); }

  private:
    std::string_view bytes_;
};

class MemorySink final : public ByteSink {
  public:
    platform::Status Write(const std::uint8_t* data, std::size_t length) override {
        bytes.append(reinterpret_cast<const char*>(data), length);
        return platform::Status::Ok();
    }
    std::string bytes;
};

}  // namespace engine
