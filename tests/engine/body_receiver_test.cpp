// Receiving a body into a sink in memory: every byte once and in order,
// never a byte beyond the body, and each way the body can end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/body_receiver.h"
#include "support/random_bytes.h"

namespace {

using engine::BodyReceipt;

class LimitedSink final : public engine::ByteSink {
  public:
    explicit LimitedSink(std::size_t limit = std::string::npos) : limit_(limit) {}
    platform::Status Write(const std::uint8_t* data, std::size_t length) override {
        if (bytes.size() + length > limit_) {
            return platform::SysError{ENOSPC};
        }
        bytes.append(reinterpret_cast<const char*>(data), length);
        return platform::Status::Ok();
    }
    std::string bytes;

  private:
    std::size_t limit_;
};

// A peer that sends `stream` in pieces of at most `piece` bytes, then ends
// as `end` says (0: closes, -1: fails).
struct Peer {
    std::string stream;
    std::size_t piece;
    std::ptrdiff_t end;
    std::size_t sent = 0;
    std::size_t largestAsk = 0;

    std::ptrdiff_t operator()(void* buffer, std::size_t capacity) {
        largestAsk = std::max(largestAsk, capacity);
        if (sent == stream.size()) {
            return end;
        }
        const std::size_t count = std::min({capacity, piece, stream.size() - sent});
        std::memcpy(buffer, stream.data() + sent, count);
        sent += count;
        return static_cast<std::ptrdiff_t>(count);
    }
};

TEST(BodyReceiverTest, EveryWayABodyEnds) {
    const std::string body = testing_support::RandomBytes(3 * 1024 * 1024 + 17, 3);
    const std::string next = "HTTP/1.1 200 OK\r\n";  // the next reply: never taken
    const struct {
        const char* what;
        std::size_t sent;       // body bytes the peer has
        std::size_t piece;      // bytes per receive at most
        std::ptrdiff_t end;     // after them
        std::size_t sinkLimit;  // bytes the sink takes
        BodyReceipt::End expected;
    } cases[] = {
        {"whole, large pieces", body.size(), 1 << 20, 0, std::string::npos,
         BodyReceipt::End::Whole},
        {"whole, small pieces", body.size(), 1000, 0, std::string::npos, BodyReceipt::End::Whole},
        {"cut short", 5000, 777, 0, std::string::npos, BodyReceipt::End::CutShort},
        {"receive fails", 70000, 65536, -1, std::string::npos, BodyReceipt::End::ReceiveFailed},
        {"disk fills", body.size(), 1 << 16, 0, 2 * 1024 * 1024, BodyReceipt::End::WriteFailed},
        {"cut short on a full disk", 5000, 777, 0, 4000, BodyReceipt::End::WriteFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Peer peer{body.substr(0, c.sent) + (c.sent == body.size() ? next : ""), c.piece, c.end};
        LimitedSink sink(c.sinkLimit);
        std::vector<std::int64_t> progress;
        const BodyReceipt receipt =
            engine::ReceiveBody(std::ref(peer), static_cast<std::int64_t>(body.size()), sink, 65536,
                                [&](std::int64_t bytes) { progress.push_back(bytes); });

        EXPECT_EQ(receipt.end, c.expected);
        if (c.expected != BodyReceipt::End::WriteFailed) {
            EXPECT_EQ(static_cast<std::size_t>(receipt.received), c.sent);
            EXPECT_TRUE(sink.bytes == body.substr(0, c.sent)) << "what arrived is written, once";
        } else {
            EXPECT_TRUE(receipt.writeError.NoSpace());
        }
        EXPECT_LE(peer.sent, body.size()) << "nothing beyond the body is taken";
        EXPECT_LE(peer.largestAsk, std::size_t{1} << 20);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()) &&
                    std::adjacent_find(progress.begin(), progress.end()) == progress.end())
            << "each count reported once, as it grows";
        for (std::size_t i = 0; i + 2 < progress.size(); ++i) {
            EXPECT_GT(progress[i + 1] / 1024, progress[i] / 1024) << "once per kilobyte";
        }
        EXPECT_EQ(progress.empty() ? 0 : progress.back(), receipt.received)
            << "the last report is the exact count";
    }
}

}  // namespace
