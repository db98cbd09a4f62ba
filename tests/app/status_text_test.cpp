// The status line's words and figures, and the measured rate.

#include "app/status_text.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(StatusText, SizesAndTimesAsPeopleReadThem) {
    const struct {
        std::int64_t bytes;
        const char* text;
    } sizes[] = {
        {-5, "0 bytes"},         {1, "1 byte"},
        {999, "999 bytes"},      {1023, "1023 bytes"},
        {1024, "1.0 KB"},        {1536, "1.5 KB"},
        {10239, "9.9 KB"},       {10240, "10 KB"},
        {312LL << 20, "312 MB"}, {(5LL << 30) / 2, "2.5 GB"},
        {3LL << 40, "3.0 TB"},   {2048LL << 40, "2048 TB"},
    };
    for (const auto& s : sizes) {
        EXPECT_EQ(app::FormatBytes(s.bytes), s.text) << s.bytes;
    }
    EXPECT_EQ(app::FormatBytesOf(500, 2048), "500 bytes of 2.0 KB");
    EXPECT_EQ(app::FormatBytesOf(999, 1000), "999 of 1000 bytes");
    EXPECT_EQ(app::FormatBytesOf(1, 1000), "1 byte of 1000 bytes");
    const struct {
        long long seconds;
        const char* text;
    } times[] = {
        {-3, "0 s"},         {42, "42 s"},  {60, "1 min"},
        {150, "2 min 30 s"}, {3600, "1 h"}, {7500, "2 h 5 min"},
    };
    for (const auto& t : times) {
        EXPECT_EQ(app::FormatDuration(seconds(t.seconds)), t.text) << t.seconds;
    }
}

TEST(StatusText, RateOverTheLastFewSecondsAndRestartedCounts) {
    app::RateMeter meter;
    EXPECT_FALSE(meter.BytesPerSecond());
    meter.Sample(milliseconds(0), 0);
    meter.Sample(milliseconds(200), 1000);
    EXPECT_FALSE(meter.BytesPerSecond()) << "a fifth of a second is too short to tell";
    meter.Sample(milliseconds(1000), 4000);
    EXPECT_DOUBLE_EQ(*meter.BytesPerSecond(), 4000.0);
    // A fast start falls out of the window: only the last seconds count.
    for (int t = 2; t <= 10; ++t) {
        meter.Sample(milliseconds(t * 1000), 4000 + (t - 1) * 100);
    }
    EXPECT_NEAR(*meter.BytesPerSecond(), 100.0, 1e-9);
    meter.Sample(milliseconds(11000), 50);  // a retried run counts afresh
    EXPECT_FALSE(meter.BytesPerSecond());
}

TEST(StatusText, TransferAndRetryLines) {
    control::ProgressSnapshot p;
    EXPECT_EQ(app::TransferStatus(p, 1000.0), "");
    p.fileBytes = 3 << 20;
    p.receivedBytes = 1 << 20;
    EXPECT_EQ(app::TransferStatus(p, std::nullopt), "1.0 of 3.0 MB");
    EXPECT_EQ(app::TransferStatus(p, 0.5), "1.0 of 3.0 MB") << "no rate below a byte a second";
    p.fileIndex = 3;
    p.fileCount = 25;
    p.runBytes = 840LL << 20;
    p.runBytesDone = 311LL << 20;
    EXPECT_EQ(app::TransferStatus(p, double(1 << 20)),
              "1.0 of 3.0 MB, 1.0 MB/s, 2 s left; file 3 of 25, 312 of 840 MB");
    p.fileBytes = 0;
    EXPECT_EQ(app::TransferStatus(p, double(1 << 20)), "file 3 of 25, 312 of 840 MB");

    const control::FailureCause cause{control::FailureCause::Kind::NoAnswer,
                                      "no answer from b2.example.com:80 for 180 s"};
    EXPECT_EQ(app::RetryStatus(2, cause, milliseconds(3001)),
              "Attempt 2 failed: no answer from b2.example.com:80 for 180 s. Trying again in 4 s.");
    EXPECT_EQ(app::RetryStatus(1, {}, milliseconds(0)),
              "Attempt 1 failed: no reason was given. Trying again in 0 s.");
}

}  // namespace
