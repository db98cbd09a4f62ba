#pragma once
// Reading a reply's header block and the headers the client relies on.
// The reader is fed bytes and keeps its own state, so it works the same on
// a whole message and one byte at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

// Collects a header block up to and including its empty line: a CR sets the
// first mark; an LF with the first mark set ends the block when the second
// mark is set too, and otherwise sets the second mark; an LF without the
// first mark changes nothing; any other byte clears both. So the block ends
// at CR LF CR LF, and also at CR LF LF. After 4096 bytes without an end the
// bytes read so far are the block.
class ReplyHeaderReader {
  public:
    static constexpr std::size_t kLimit = 4096;

    // Adds one byte; true once the block is complete.
    bool Feed(char byte);
    bool Complete() const { return complete_; }
    // The block ended at the size limit rather than at its empty line.
    bool Truncated() const { return complete_ && !endMark_; }
    const std::string& Block() const { return block_; }
    void Clear();

  private:
    std::string block_;
    bool crMark_ = false;
    bool lfMark_ = false;
    bool complete_ = false;
    bool endMark_ = false;
};

// The text after the first occurrence of `name` (case-sensitive, with its
// colon and blank) up to the next CR, or nothing when the name is absent.
std::optional<std::string_view> HeaderValue(std::string_view block, std::string_view name);

// The block's first line names status 407 ("HTTP/1.1 407" or "HTTP/1.0 407").
bool IsProxyAuthenticationFailure(std::string_view block);

struct LarchValues {
    std::int64_t first = 0;
    std::optional<std::int64_t> second;
};

struct FangValues {
    std::int64_t plainSize = 0;
    std::optional<std::int64_t> keyIndex;
    bool packed = false;  // the body is a zip archive
};

// The headers of a reply that the client reads.
struct ReplyHeaders {
    bool connectionClose = false;
    std::optional<std::string> conclusion;  // at most 63 characters, cut at the CR
    std::optional<LarchValues> larch;
    std::optional<std::array<bool, 3>> payloadFlags;  // "X-QVN-CRUNCHYFROG: "
    // The raw "Content-Length: " text read as a decimal number; callers
    // decide which values they accept.
    std::optional<std::int64_t> contentLength;
    // The "Content-Length: " text starts with a number, read as
    // contentLength reads it (after white space and one sign); "abc" and
    // "-+5" read as 0 but are not numbers.
    bool contentLengthIsNumber = false;
    bool restart = false;  // "X-QVN-RESTART: "
    std::optional<FangValues> fang;
};

ReplyHeaders ParseReplyHeaders(std::string_view block);

inline constexpr std::size_t kConclusionLimit = 63;

}  // namespace net
