#include "engine/body_receiver.h"

#include <algorithm>
#include <climits>
#include <memory>

namespace engine {
namespace {

// The body is received into a block of this size and written a block at a
// time.
constexpr std::size_t kWriteBlock = 1024 * 1024;

}  // namespace

BodyReceipt ReceiveBody(const Receiver& receive, std::int64_t length, ByteSink& sink,
                        std::size_t readAhead,
                        const std::function<void(std::int64_t receivedBytes)>& onProgress) {
    BodyReceipt receipt;
    std::int64_t remaining = length;
    std::int64_t published = 0;
    platform::Status written;
    const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteBlock);
    std::size_t filled = 0;
    while (remaining > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(remaining, kWriteBlock - filled));
        const std::ptrdiff_t got = receive(block.get() + filled, want);
        if (got <= 0) {
            receipt.end = got == 0 ? BodyReceipt::End::CutShort : BodyReceipt::End::ReceiveFailed;
            break;
        }
        filled += static_cast<std::size_t>(got);
        if (kWriteBlock - filled < readAhead) {
            written = sink.Write(block.get(), filled);
            filled = 0;
            if (!written) {
                break;
            }
        }
        receipt.received += got;
        remaining -= got;
        if (receipt.received / 1024 > published / 1024) {
            published = receipt.received;
            onProgress(published);
        }
    }
    if (receipt.received != published) {
        onProgress(receipt.received);
    }
    // However the loop ended, what was received is written.
    if (written) {
        written = sink.Write(block.get(), filled);
    }
    if (!written) {
        receipt.end = BodyReceipt::End::WriteFailed;
        receipt.writeError = written.error();
    }
    return receipt;
}

}  // namespace engine
