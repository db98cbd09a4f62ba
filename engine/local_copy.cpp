#include "engine/local_copy.h"

#include <algorithm>
#include <span>
#include <vector>

#include "net/md5.h"
#include "net/request_builder.h"
#include "net/service_date.h"

namespace engine {
namespace {

// A copy is hashed a block of this size at a time: read into one buffer, it
// costs less than through a mapping, whose every page is a fault to serve,
// and no more memory whatever the file's size.
constexpr std::size_t kHashBlock = 1024 * 1024;

// The MD5 of a file's first `length` bytes; nothing when the file cannot
// be read that far.
std::optional<net::Md5Digest> DigestOf(const platform::File& file, std::uint64_t length) {
    net::Md5 md5;
    std::vector<std::uint8_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kHashBlock, length)));
    for (std::uint64_t offset = 0; offset < length;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), length - offset));
        auto got = file.ReadAt(block.data(), want, offset);
        if (!got || *got == 0) {
            return std::nullopt;
        }
        md5.Update(std::span<const std::uint8_t>(block.data(), *got));
        offset += *got;
    }
    return md5.Finish();
}

}  // namespace

CopyExamination ExamineCopy(const platform::File& file, const LocalCopy& copy) {
    using Verdict = CopyExamination::Verdict;
    CopyExamination examination;
    auto size = file.Size();
    if (!size || *size == 0) {
        return examination;
    }
    examination.size = static_cast<std::int64_t>(*size);

    if (copy.isTarget && copy.serverDate != " ") {
        const auto local = file.LastWriteTime();
        const auto service = net::ParseServiceDate(copy.serverDate);
        if (local && service && *local >= *service) {
            examination.verdict = *local == *service ? Verdict::KeptSame : Verdict::KeptNewer;
            return examination;
        }
    }
    const std::optional<net::Md5Digest> digest = DigestOf(file, *size);
    if (!digest) {
        examination.verdict = Verdict::Unreadable;
        return examination;
    }
    examination.verdict = Verdict::Described;
    examination.description = net::RestartHeaderLine(*digest, examination.size, copy.fileId);
    if (copy.targetLastWrite) {
        if (auto line = net::DateHeaderLine(*copy.targetLastWrite)) {
            examination.description += *line;
        }
    }
    return examination;
}

}  // namespace engine
