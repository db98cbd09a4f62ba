// Replies from the service: the header block read byte by byte off the
// connection, then the headers the client acts on.
//
// The input is what a connection delivers: replies one after the other,
// each a header block and as many body bytes as its Content-Length names
// (when those arrived). Checked for every block: it is the next bytes of
// the input, ends at its empty line or at the size limit, and stays as it
// is once complete; each header the client reads is present exactly when
// its name is, its value comes from the block, and the conclusion keeps
// within its width.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net/reply_header.h"

namespace {

bool Has(std::string_view block, std::string_view name) {
    return block.find(name) != std::string_view::npos;
}

void CheckHeaders(std::string_view block) {
    const net::ReplyHeaders headers = net::ParseReplyHeaders(block);
    FUZZ_CHECK(headers.connectionClose == Has(block, "Connection: close"));
    FUZZ_CHECK(headers.restart == Has(block, "X-QVN-RESTART: "));
    FUZZ_CHECK(headers.larch.has_value() == Has(block, "X-QVN-LARCH: "));
    FUZZ_CHECK(headers.payloadFlags.has_value() == Has(block, "X-QVN-CRUNCHYFROG: "));
    FUZZ_CHECK(headers.fang.has_value() == Has(block, "X-QVN-Fang: "));
    FUZZ_CHECK(headers.contentLength.has_value() == Has(block, "Content-Length: "));
    FUZZ_CHECK(headers.conclusion.has_value() == Has(block, "X-QVN-CONCLUSION: "));
    if (headers.conclusion) {
        FUZZ_CHECK(headers.conclusion->size() <= net::kConclusionLimit);
        FUZZ_CHECK(headers.conclusion->find('\r') == std::string::npos);
        FUZZ_CHECK(Has(block, "X-QVN-CONCLUSION: " + *headers.conclusion));
    }
    if (headers.contentLengthIsNumber) {
        FUZZ_CHECK(headers.contentLength.has_value());
    } else if (headers.contentLength) {
        FUZZ_CHECK(*headers.contentLength == 0);
    }
    if (headers.fang && headers.fang->packed) {
        FUZZ_CHECK(headers.fang->keyIndex.has_value());
    }
    if (net::IsProxyAuthenticationFailure(block)) {
        FUZZ_CHECK(block.substr(0, 9) == "HTTP/1.1 " || block.substr(0, 9) == "HTTP/1.0 ");
        FUZZ_CHECK(block.substr(9, 3) == "407");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::AsText({data, size});
    std::size_t at = 0;
    while (at < input.size()) {
        net::ReplyHeaderReader reader;
        std::size_t fed = 0;
        while (at + fed < input.size() && !reader.Feed(input[at + fed])) {
            ++fed;
        }
        const std::string& block = reader.Block();
        if (!reader.Complete()) {
            FUZZ_CHECK(block == input.substr(at));
            FUZZ_CHECK(block.size() < net::ReplyHeaderReader::kLimit);
            return 0;
        }
        ++fed;
        FUZZ_CHECK(block == input.substr(at, fed));
        FUZZ_CHECK(block.size() <= net::ReplyHeaderReader::kLimit);
        if (reader.Truncated()) {
            FUZZ_CHECK(block.size() == net::ReplyHeaderReader::kLimit);
        } else {
            FUZZ_CHECK(block.size() >= 3);
            FUZZ_CHECK(block.back() == '\n');
            FUZZ_CHECK(Has(block, "\r\n"));
        }
        // A complete block takes nothing more from the connection.
        FUZZ_CHECK(reader.Feed('x'));
        FUZZ_CHECK(reader.Block().size() == fed);
        CheckHeaders(block);
        at += fed;

        const net::ReplyHeaders headers = net::ParseReplyHeaders(block);
        if (headers.contentLength && *headers.contentLength > 0) {
            const auto rest = static_cast<std::uint64_t>(input.size() - at);
            at += static_cast<std::size_t>(
                std::min<std::uint64_t>(rest, static_cast<std::uint64_t>(*headers.contentLength)));
        }
    }
    return 0;
}
