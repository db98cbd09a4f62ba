#pragma once
// A reply as the service sends it: status line, header lines, and a body
// that may come from memory or from a stretch of a file and may be
// enciphered on its way out (Blowfish ECB, zero-padded to whole blocks).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/blowfish.h"
#include "net/key_table.h"
#include "platform/file.h"

namespace qvn_service {

struct FileRange {
    std::string path;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct ReplyBody {
    std::string memory;             // the bytes, unless `file` is given
    std::optional<FileRange> file;  // read while sending
    // When given, the body is enciphered under this key window.
    std::optional<net::KeyTable::Window> cipherKey;

    std::uint64_t PlainLength() const { return file ? file->length : memory.size(); }
    // What Content-Length announces: whole cipher blocks when enciphered.
    std::uint64_t WireLength() const;
};

struct Reply {
    std::string status = "200 OK";
    std::vector<std::string> headers;  // "Name: value", without the line end
    // None: the reply has no Content-Length and no body.
    std::optional<ReplyBody> body;
    // Replaces the Content-Length value (a fault); also given without a body.
    std::optional<std::string> contentLengthText;
    bool close = false;  // "Connection: close", and the connection ends after it
    // A fault: padding lines after the real ones put the block's closing
    // empty line no earlier than this many bytes from the reply's start.
    std::uint64_t emptyLineAt = 0;

    // The status line, the headers, Content-Length, Connection, any
    // padding and the empty line.
    std::string HeaderText() const;
};

// The wire bytes of a body, piece by piece.
class BodyStream {
  public:
    static constexpr std::size_t kPieceSize = 64 * 1024;  // a multiple of the cipher block

    explicit BodyStream(const ReplyBody& body);

    // The next piece (at most kPieceSize bytes); false at the end of the
    // body or when the file could not be read as far as announced.
    bool Next(std::string& piece);
    bool Failed() const { return failed_; }

  private:
    const ReplyBody& body_;
    std::optional<net::BlowfishCipher> cipher_;
    platform::File file_;
    std::uint64_t sent_ = 0;  // plain bytes produced so far
    bool failed_ = false;
};

}  // namespace qvn_service
