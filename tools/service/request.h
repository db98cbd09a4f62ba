#pragma once
// A client's request: finding the end of its header block among the bytes
// received, the request line and headers, and the values of the private
// headers that the service reads. Everything here takes bytes and checks
// every length, so no request can make it read out of bounds.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/key_table.h"
#include "net/md5.h"

namespace qvn_service {

// The length of the header block at the start of `data`, up to and
// including its empty line (CR LF CR LF, CR LF LF or LF LF), or nothing
// when the empty line has not arrived yet.
std::optional<std::size_t> FindHeaderEnd(std::string_view data);

struct Request {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of the first header of that name (ASCII case ignored),
    // without the blanks around it.
    std::optional<std::string_view> Header(std::string_view name) const;
    // The client wants the connection closed after the reply: HTTP/1.0
    // without keep-alive, or "Connection: close".
    bool WantsClose() const;
};

// Requests with more header lines than this are refused.
inline constexpr std::size_t kMaxHeaderLines = 200;

// Parses a complete header block; nothing for a block that is no request:
// a request line that is not "<method> <target> HTTP/1.x", a header line
// without a colon or with an empty name, or too many lines.
std::optional<Request> ParseRequest(std::string_view block);

// What a request target asks for.
struct Target {
    enum class Kind { Protocol, File, Unknown };
    Kind kind = Kind::Unknown;
    std::string word;      // Protocol: the query word ("VDLK", "DownLoad", ...)
    std::string key;       // File: the first level after /files/
    std::string relative;  // File: the rest, percent escapes decoded, '/' between levels
};

inline constexpr std::string_view kScriptPath = "/scripts/qzupld9.dll";

// "/scripts/qzupld9.dll?<word>" or "/files/<key>/<relative path>".
Target ClassifyTarget(std::string_view target);

// The key that an "X-QVN-RATTART3: " token carries: Base64 text of a
// message enciphered with an index prefix whose plaintext is the key, a
// comma and a NUL. Nothing when the token is not of that form.
std::optional<std::string> KeyFromToken(const net::KeyTable& table, std::string_view token);

// The file identifier of an "X-QVN-LUPIN: " value "0,<id>;": the text
// between the first comma and the following semicolon (or the end).
std::optional<std::string> FileIdFromLupin(std::string_view value);

// The client's description of its copy, from "X-QVN-RESTART2: "
// "<Base64 MD5>,<size>,<id>;".
struct CopyDescription {
    net::Md5Digest digest{};
    std::uint64_t size = 0;
};
std::optional<CopyDescription> ParseRestartDescription(std::string_view value);

// The fourth of the five comma-separated numbers of "X-QVN-FANG: ": the
// client accepts a zip body when it is 1.
bool AcceptsZip(std::string_view fangValue);

}  // namespace qvn_service
