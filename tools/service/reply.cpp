#include "tools/service/reply.h"

#include <algorithm>

namespace qvn_service {

namespace {

// Padding lines are "X-Padding: xxx...\r\n", each at most this long, so
// that only the block as a whole is too long, not one of its lines.
constexpr std::size_t kPaddingLineMax = 1000;
constexpr std::string_view kPaddingName = "X-Padding: ";
constexpr std::size_t kPaddingLineMin = kPaddingName.size() + 1 + 2;

void AppendPaddingLine(std::string& text, std::size_t length) {
    text += kPaddingName;
    text.append(length - kPaddingLineMin + 1, 'x');
    text += "\r\n";
}

// Fills `gap` bytes with padding lines; a gap too small for one line gets
// one line anyway.
void AppendPadding(std::string& text, std::size_t gap) {
    while (gap > 0) {
        std::size_t line = std::min(gap, kPaddingLineMax);
        // Leave no rest that is too small for a line of its own.
        if (gap > line && gap - line < kPaddingLineMin) {
            line = gap - kPaddingLineMin;
        }
        line = std::max(line, kPaddingLineMin);
        AppendPaddingLine(text, line);
        gap -= std::min(gap, line);
    }
}

}  // namespace

std::uint64_t ReplyBody::WireLength() const {
    const std::uint64_t plain = PlainLength();
    return cipherKey ? net::BlowfishCipher::PaddedLength(plain) : plain;
}

std::string Reply::HeaderText() const {
    std::string text = "HTTP/1.1 " + status + "\r\n";
    for (const std::string& header : headers) {
        text += header + "\r\n";
    }
    if (contentLengthText) {
        text += "Content-Length: " + *contentLengthText + "\r\n";
    } else if (body) {
        text += "Content-Length: " + std::to_string(body->WireLength()) + "\r\n";
    }
    if (close) {
        text += "Connection: close\r\n";
    }
    if (emptyLineAt > text.size()) {
        AppendPadding(text, static_cast<std::size_t>(emptyLineAt - text.size()));
    }
    text += "\r\n";
    return text;
}

BodyStream::BodyStream(const ReplyBody& body) : body_(body) {
    if (body.cipherKey) {
        cipher_.emplace();
        // A 16-byte key is always accepted.
        [[maybe_unused]] const bool keyed = cipher_->SetCipherKey(*body.cipherKey);
    }
}

bool BodyStream::Next(std::string& piece) {
    piece.clear();
    const std::uint64_t total = body_.PlainLength();
    if (failed_ || sent_ >= total) {
        return false;
    }
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(total - sent_, kPieceSize));
    if (body_.file) {
        if (!file_.IsOpen()) {
            auto opened = platform::File::Open(body_.file->path, platform::FileAccess::ReadShared);
            if (!opened || !opened->Seek(body_.file->offset)) {
                failed_ = true;
                return false;
            }
            file_ = std::move(*opened);
        }
        piece.resize(want);
        std::size_t filled = 0;
        while (filled < want) {
            auto got = file_.Read(piece.data() + filled, want - filled);
            if (!got || *got == 0) {
                // The file shrank or failed since its size was announced.
                failed_ = true;
                piece.clear();
                return false;
            }
            filled += *got;
        }
    } else {
        piece.assign(body_.memory, static_cast<std::size_t>(sent_), want);
    }
    sent_ += want;
    if (cipher_) {
        // Only the last piece can end inside a block; it is padded with zeros.
        piece.resize(net::BlowfishCipher::PaddedLength(piece.size()), '\0');
        auto* bytes = reinterpret_cast<std::uint8_t*>(piece.data());
        cipher_->Encipher(std::span<const std::uint8_t>(bytes, piece.size()),
                          std::span<std::uint8_t>(bytes, piece.size()));
    }
    return true;
}

}  // namespace qvn_service
