#pragma once
// The request texts the client sends: the generic service request, the
// file download request, and the header lines they share.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "net/key_table.h"
#include "platform/clock.h"
#include "platform/file_time.h"

namespace net {

inline constexpr const char* kScriptName = "qzupld9.dll";
inline constexpr const char* kUserAgentLine = "User-Agent: QVN Upload Manager(1.0.14)\r\n";
// The longest download key whose token fits the header: its plaintext
// (key, comma, NUL) is at most 120 bytes.
inline constexpr std::size_t kMaxDownloadKeyLength = 118;

struct Credentials {
    std::optional<std::string> downloadKey;
    std::string loginId;
    std::string password;
    std::string clientId;
};

// The credentials header ("X-QVN-RATTART3: " with a download key, else
// "X-QVN-RATTART: ") with its enciphered, Base64-coded token, followed by the
// client header when there is a client id. Nothing when the token would
// not fit (a download key longer than 118 characters).
std::optional<std::string> AddCredentialHeaders(const KeyTable& table,
                                                const Credentials& credentials,
                                                platform::Clock& clock);

// The generic request for an operation word.
std::string ServiceRequestText(std::string_view queryWord, std::string_view host,
                               std::string_view credentialHeaders, std::string_view currentFileId);

// The values of the download request's "X-QVN-FANG: " line.
struct FangRequest {
    std::int64_t timeModulo = 0;  // current time in seconds modulo 1025
    std::int64_t timeBits = 0;    // current time in seconds AND 0xFFF
    int uploadValue = 0;          // set only by upload operations
    bool transferCompress = false;
    int uploadValue2 = 0;
};

// The "DownLoad" request.
std::string DownloadRequestText(std::string_view host, std::string_view credentialHeaders,
                                std::string_view currentFileId, std::string_view restartDescription,
                                const FangRequest& fang);

// "X-QVN-RESTART2: " with the Base64 MD5 of the local copy's bytes, its
// size and the file's identifier.
std::string BuildRestartHeader(std::span<const std::uint8_t> localBytes,
                               std::string_view currentFileId);
// The same from a digest computed elsewhere (a copy hashed in pieces).
std::string RestartHeaderLine(std::span<const std::uint8_t, 16> digest, std::int64_t localFileSize,
                              std::string_view currentFileId);

// "X-QVN-DINSDALE: " with the service date of a local copy's time; nothing
// when the time has no calendar form.
std::optional<std::string> DateHeaderLine(platform::FileTime time);

}  // namespace net
