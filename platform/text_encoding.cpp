#include "platform/text_encoding.h"

#include <utility>

// The owning part of the converter; opening, converting and closing are
// each system's own.
namespace platform {

TextConverter::TextConverter(TextConverter&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

TextConverter& TextConverter::operator=(TextConverter&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

TextConverter::~TextConverter() {
    Close();
}

}  // namespace platform
