#pragma once
// Receiving a file's body: as many bytes as the reply announced, from the
// connection into a sink a large block at a time, with the whole
// kilobytes received reported as they grow. The sink is the work file in
// the program and memory in tests.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/byte_io.h"
#include "platform/error.h"

namespace engine {

// One receive of at most `capacity` bytes: the count, 0 when the peer
// closed, -1 on an error or time-out.
using Receiver = std::function<std::ptrdiff_t(void* buffer, std::size_t capacity)>;

struct BodyReceipt {
    enum class End {
        Whole,          // every byte arrived and was written
        CutShort,       // the peer closed first; what arrived was written
        ReceiveFailed,  // a receive failed or timed out; what arrived was written
        WriteFailed,    // the sink refused a write
    };
    End end = End::Whole;
    std::int64_t received = 0;
    platform::SysError writeError;
};

// `onProgress` hears the bytes received so far each time another whole
// kilobyte has arrived, and once more at the end with the exact count.
// Never asks for more than the body, so the next reply stays unread.
// `readAhead` is what one receive may bring beyond a small request: with
// that much room left in the block the bytes come straight into it.
BodyReceipt ReceiveBody(const Receiver& receive, std::int64_t length, ByteSink& sink,
                        std::size_t readAhead,
                        const std::function<void(std::int64_t receivedBytes)>& onProgress);

}  // namespace engine
