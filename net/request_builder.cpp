#include "net/request_builder.h"

#include <vector>

#include "net/base64.h"
#include "net/md5.h"
#include "net/message_cipher.h"
#include "net/service_date.h"
#include "platform/strings.h"

namespace net {
namespace {

// The token's plaintext, NUL included, never exceeds this.
constexpr std::size_t kMaxTokenPlaintext = 120;

}  // namespace

std::optional<std::string> AddCredentialHeaders(const KeyTable& table,
                                                const Credentials& credentials,
                                                platform::Clock& clock) {
    std::vector<std::uint8_t> plaintext;
    const char* header = nullptr;
    if (credentials.downloadKey) {
        header = "X-QVN-RATTART3: ";
        plaintext.assign(credentials.downloadKey->begin(), credentials.downloadKey->end());
        plaintext.push_back(',');
    } else {
        header = "X-QVN-RATTART: ";
        const Md5Digest digest = ComputeMd5(credentials.password);
        plaintext.assign(digest.begin(), digest.end());
        plaintext.insert(plaintext.end(), credentials.loginId.begin(), credentials.loginId.end());
    }
    plaintext.push_back('\0');
    if (plaintext.size() > kMaxTokenPlaintext) {
        return std::nullopt;
    }

    const std::int64_t seed = clock.NowSeconds() & 0x3FF;
    const std::int64_t now = clock.NowSeconds();
    std::vector<std::uint8_t> token(EncipheredCapacity(plaintext.size()));
    const std::size_t length = EncipherWithIndex(table, plaintext, seed, now, token);
    if (length == 0) {
        return std::nullopt;
    }
    token.resize(length);

    std::string lines = header + Base64Encode(token) + "\r\n";
    if (!credentials.clientId.empty()) {
        lines += "X-QVN-FISHSLAP: " + credentials.clientId + ",0\r\n";
    }
    return lines;
}

std::string ServiceRequestText(std::string_view queryWord, std::string_view host,
                               std::string_view credentialHeaders, std::string_view currentFileId) {
    std::string request =
        platform::StrPrintf("GET /scripts/%s?%s HTTP/1.1\r\nHost: %s\r\n", kScriptName,
                            std::string(queryWord).c_str(), std::string(host).c_str());
    request += credentialHeaders;
    request += kUserAgentLine;
    request += "X-QVN-BLACMANGE: NO,0\r\n";
    request += "X-QVN-LUPIN: 0," + std::string(currentFileId) + ";\r\n";
    request += "\r\n";
    return request;
}

std::string DownloadRequestText(std::string_view host, std::string_view credentialHeaders,
                                std::string_view currentFileId, std::string_view restartDescription,
                                const FangRequest& fang) {
    std::string request = platform::StrPrintf("GET /scripts/%s?DownLoad HTTP/1.1\r\nHost: %s\r\n",
                                              kScriptName, std::string(host).c_str());
    request += credentialHeaders;
    request += kUserAgentLine;
    request += "X-QVN-LUPIN: 0," + std::string(currentFileId) + ";\r\n";
    request += restartDescription;
    request += platform::StrPrintf("X-QVN-FANG: %lld,%lld,%d,%d,%d\r\n",
                                   static_cast<long long>(fang.timeModulo),
                                   static_cast<long long>(fang.timeBits), fang.uploadValue,
                                   fang.transferCompress ? 1 : 0, fang.uploadValue2);
    request += "\r\n";
    return request;
}

std::string RestartHeaderLine(std::span<const std::uint8_t, 16> digest, std::int64_t localFileSize,
                              std::string_view currentFileId) {
    return platform::StrPrintf("X-QVN-RESTART2: %s,%lld,%s;\r\n",
                               Base64Encode(std::span<const std::uint8_t>(digest)).c_str(),
                               static_cast<long long>(localFileSize),
                               std::string(currentFileId).c_str());
}

std::string BuildRestartHeader(std::span<const std::uint8_t> localBytes,
                               std::string_view currentFileId) {
    const Md5Digest digest = ComputeMd5(localBytes);
    return RestartHeaderLine(digest, static_cast<std::int64_t>(localBytes.size()), currentFileId);
}

std::optional<std::string> DateHeaderLine(platform::FileTime time) {
    const std::optional<std::string> date = FormatServiceDate(time);
    if (!date) {
        return std::nullopt;
    }
    return "X-QVN-DINSDALE: " + *date + "\r\n";
}

}  // namespace net
