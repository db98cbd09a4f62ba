#pragma once
// Text between code pages: the service writes its names in a single-byte
// ANSI code page, while this system's file names and displays take UTF-8
// (and the local service needs the way back). Code pages are named as the
// system's converter knows them: "WINDOWS-1252", "ISO-8859-15", "UTF-8".

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace platform {

inline constexpr std::string_view kUtf8 = "UTF-8";

// One direction of conversion, opened once and used for any number of
// texts (one thread at a time).
class TextConverter {
  public:
    TextConverter(TextConverter&& other) noexcept;
    TextConverter& operator=(TextConverter&& other) noexcept;
    TextConverter(const TextConverter&) = delete;
    TextConverter& operator=(const TextConverter&) = delete;
    ~TextConverter();

    // Text from code page `from` into code page `to`. Fails with
    // UnknownCodePage() when the system knows either name not; an empty
    // name is refused too, as the system would take it for the locale's.
    static Result<TextConverter> Open(std::string_view from, std::string_view to);

    // The whole text in the other code page. Fails with NoCharacter() when
    // a byte (or the text's last sequence, cut short) has no character in
    // `from`, or its character has none in `to`: nothing is ever dropped
    // or replaced.
    Result<std::string> Convert(std::string_view text);

  private:
    explicit TextConverter(void* handle) : handle_(handle) {}
    void Close();

    void* handle_ = nullptr;  // the system's conversion state
};

}  // namespace platform
