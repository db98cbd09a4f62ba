#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

// A name the system can be asked about: empty means the locale's code page
// to iconv, and a NUL would cut the name short.
bool IsCodePageName(std::string_view name) {
    return !name.empty() && name.find('\0') == std::string_view::npos;
}

}  // namespace

void TextConverter::Close() {
    if (handle_ != nullptr) {
        ::iconv_close(static_cast<iconv_t>(handle_));
        handle_ = nullptr;
    }
}

Result<TextConverter> TextConverter::Open(std::string_view from, std::string_view to) {
    if (!IsCodePageName(from) || !IsCodePageName(to)) {
        return SysError{EINVAL};
    }
    const iconv_t handle = ::iconv_open(std::string(to).c_str(), std::string(from).c_str());
    if (handle == kNoConverter) {
        return LastError();
    }
    return TextConverter(handle);
}

Result<std::string> TextConverter::Convert(std::string_view text) {
    const auto handle = static_cast<iconv_t>(handle_);
    // A text that failed may have left the state inside a sequence.
    ::iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::string converted;
    char buffer[1024];
    char* in = const_cast<char*>(text.data());  // iconv's type; it never writes there
    std::size_t inLeft = text.size();
    // The text, then (inLeft at 0, `in` null) what a stateful code page
    // writes to return to its initial state.
    for (bool flushed = false; !flushed;) {
        char* out = buffer;
        std::size_t room = sizeof buffer;
        const bool flushing = inLeft == 0;
        const std::size_t done = flushing ? ::iconv(handle, nullptr, nullptr, &out, &room)
                                          : ::iconv(handle, &in, &inLeft, &out, &room);
        const int error = errno;
        converted.append(buffer, out);
        if (done == kFailed && error != E2BIG) {
            // EINVAL: the text ends inside a sequence, which no more text completes.
            return SysError{error == EINVAL ? EILSEQ : error};
        }
        flushed = flushing && done != kFailed;
    }
    return converted;
}

}  // namespace platform
