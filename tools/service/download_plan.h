#pragma once
// How a "DownLoad" request is answered from what the client says of its
// copy: already complete, continued from its end, or sent whole.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/md5.h"
#include "tools/service/request.h"

namespace qvn_service {

// Continuations of enciphered files start on this boundary, so that the
// client can decipher the rest in whole blocks from its copy's end.
inline constexpr std::uint64_t kCipherBlockUnit = 2048;

struct DownloadPlan {
    enum class Kind { AlreadyComplete, Continuation, Whole };
    Kind kind = Kind::Whole;
    std::uint64_t offset = 0;  // Continuation: where the rest starts
};

// The MD5 digest of the first `length` bytes of the file at `path`;
// nothing when it cannot be read that far.
std::optional<net::Md5Digest> DigestOfFileStart(const std::string& path, std::uint64_t length);

// A copy of the same size and digest is complete. A shorter copy whose
// digest equals that of the file's first bytes is continued, except that an
// enciphered file is continued only from a multiple of kCipherBlockUnit.
// Anything else (no description, another digest, a longer copy, an empty
// copy) gets the whole file.
// `digestOf` gives the digest of the file's first bytes (DigestOfFileStart
// unless the caller keeps digests).
using StartDigest =
    std::function<std::optional<net::Md5Digest>(const std::string& path, std::uint64_t length)>;
DownloadPlan PlanDownload(const std::string& path, std::uint64_t fileSize,
                          const std::optional<CopyDescription>& copy, bool enciphered,
                          const StartDigest& digestOf = DigestOfFileStart);

}  // namespace qvn_service
