#include "tools/service/download_plan.h"

#include <algorithm>
#include <vector>

#include "platform/file.h"

namespace qvn_service {

std::optional<net::Md5Digest> DigestOfFileStart(const std::string& path, std::uint64_t length) {
    auto file = platform::File::Open(path, platform::FileAccess::ReadShared);
    if (!file) {
        return std::nullopt;
    }
    net::Md5 md5;
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::uint64_t left = length;
    while (left > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        auto got = file->Read(buffer.data(), want);
        if (!got || *got == 0) {
            return std::nullopt;
        }
        md5.Update(std::span<const std::uint8_t>(buffer.data(), *got));
        left -= *got;
    }
    return md5.Finish();
}

DownloadPlan PlanDownload(const std::string& path, std::uint64_t fileSize,
                          const std::optional<CopyDescription>& copy, bool enciphered,
                          const StartDigest& digestOf) {
    DownloadPlan plan;
    if (!copy || copy->size == 0 || copy->size > fileSize) {
        return plan;
    }
    if (copy->size < fileSize && enciphered && copy->size % kCipherBlockUnit != 0) {
        return plan;
    }
    const auto digest = digestOf(path, copy->size);
    if (!digest || *digest != copy->digest) {
        return plan;
    }
    if (copy->size == fileSize) {
        plan.kind = DownloadPlan::Kind::AlreadyComplete;
    } else {
        plan.kind = DownloadPlan::Kind::Continuation;
        plan.offset = copy->size;
    }
    return plan;
}

}  // namespace qvn_service
