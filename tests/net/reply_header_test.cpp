// The reply header block and the headers the client reads from it.

#include <gtest/gtest.h>

#include "net/reply_header.h"

namespace {

// Feeds text byte by byte; returns how many bytes the reader took.
std::size_t FeedAll(net::ReplyHeaderReader& reader, std::string_view text) {
    std::size_t used = 0;
    for (char c : text) {
        ++used;
        if (reader.Feed(c)) {
            break;
        }
    }
    return used;
}

TEST(ReplyHeaderReader, EndsAtTheEmptyLineAndNeverReadsThePastIt) {
    const std::string head = "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\n\r\n";
    net::ReplyHeaderReader reader;
    EXPECT_EQ(FeedAll(reader, head + "BODY"), head.size());
    EXPECT_TRUE(reader.Complete());
    EXPECT_FALSE(reader.Truncated());
    EXPECT_EQ(reader.Block(), head);
}

TEST(ReplyHeaderReader, MarksFollowTheCrLfRules) {
    struct Case {
        const char* text;
        bool complete;
    };
    const Case cases[] = {
        {"A\r\n\n", true},         // CR LF LF ends the block
        {"A\n\n", false},          // bare LFs change nothing
        {"A\r\nB\r\n", false},     // a header line between clears the marks
        {"A\r\n\r\r\n", true},     // a second CR keeps the marks
        {"A\r\nx\r\n\r\n", true},  //
        {"\r\n\r\n", true},
    };
    for (const Case& c : cases) {
        net::ReplyHeaderReader reader;
        FeedAll(reader, c.text);
        EXPECT_EQ(reader.Complete(), c.complete) << testing::PrintToString(std::string(c.text));
    }
}

TEST(ReplyHeaderReader, StopsAfter4096BytesWithoutAnEnd) {
    net::ReplyHeaderReader reader;
    const std::string endless(5000, 'h');
    EXPECT_EQ(FeedAll(reader, endless), 4096u);
    EXPECT_TRUE(reader.Complete());
    EXPECT_TRUE(reader.Truncated());
    EXPECT_EQ(reader.Block().size(), 4096u);
}

TEST(ReplyHeaders, ConclusionIsCutAtTheCrAnd63Characters) {
    const std::string word(70, 'w');
    auto h = net::ParseReplyHeaders("HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: " + word + "\r\n\r\n");
    ASSERT_TRUE(h.conclusion);
    EXPECT_EQ(*h.conclusion, std::string(63, 'w'));
    h = net::ParseReplyHeaders("X-QVN-CONCLUSION: UGOTIT\r\nX-QVN-CONCLUSION: other\r\n\r\n");
    EXPECT_EQ(h.conclusion, "UGOTIT") << "the first occurrence counts";
    EXPECT_FALSE(net::ParseReplyHeaders("x-qvn-conclusion: lower\r\n\r\n").conclusion);
}

TEST(ReplyHeaders, LarchReadsOneOrTwoNumbers) {
    auto h = net::ParseReplyHeaders("X-QVN-LARCH: 123\r\nX-Other: 7\r\n\r\n");
    ASSERT_TRUE(h.larch);
    EXPECT_EQ(h.larch->first, 123);
    EXPECT_FALSE(h.larch->second);
    h = net::ParseReplyHeaders("X-QVN-LARCH: -5,9000000000\r\n\r\n");
    EXPECT_EQ(h.larch->first, -5);
    EXPECT_EQ(h.larch->second, 9000000000);
    // A comma on a later line still counts as the second number's start.
    h = net::ParseReplyHeaders("X-QVN-LARCH: 1\r\nX-Other: a,42\r\n\r\n");
    EXPECT_EQ(h.larch->second, 42);
    h = net::ParseReplyHeaders("X-QVN-LARCH: 1,x\r\n\r\n");
    EXPECT_EQ(h.larch->second, 0) << "no digits after the comma read as 0";
}

TEST(ReplyHeaders, PayloadFlagsAtPositionsZeroTwoFour) {
    auto h = net::ParseReplyHeaders("X-QVN-CRUNCHYFROG: 1,0,1\r\n\r\n");
    ASSERT_TRUE(h.payloadFlags);
    EXPECT_EQ(*h.payloadFlags, (std::array<bool, 3>{true, false, true}));
    h = net::ParseReplyHeaders("X-QVN-CRUNCHYFROG: 0,1,0\r\n\r\n");
    EXPECT_EQ(*h.payloadFlags, (std::array<bool, 3>{false, true, false}));
    h = net::ParseReplyHeaders("X-QVN-CRUNCHYFROG: 1");
    EXPECT_EQ(*h.payloadFlags, (std::array<bool, 3>{true, false, false}));
    EXPECT_FALSE(net::ParseReplyHeaders("HTTP/1.1 200 OK\r\n\r\n").payloadFlags);
}

TEST(ReplyHeaders, ContentLengthFangRestartAndClose) {
    auto h = net::ParseReplyHeaders(
        "HTTP/1.1 200 OK\r\nConnection: close\r\nX-QVN-RESTART: 1\r\n"
        "X-QVN-Fang: 4100,77,1\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(h.connectionClose);
    EXPECT_TRUE(h.restart);
    EXPECT_EQ(h.contentLength, 0);
    ASSERT_TRUE(h.fang);
    EXPECT_EQ(h.fang->plainSize, 4100);
    EXPECT_EQ(h.fang->keyIndex, 77);
    EXPECT_TRUE(h.fang->packed);

    h = net::ParseReplyHeaders("X-QVN-Fang: 10\r\nContent-Length: abc\r\n\r\n");
    EXPECT_EQ(h.fang->plainSize, 10);
    EXPECT_FALSE(h.fang->keyIndex);
    EXPECT_FALSE(h.fang->packed);
    EXPECT_EQ(h.contentLength, 0) << "no digits read as 0; callers judge it";
    h = net::ParseReplyHeaders("X-QVN-Fang: 10,3,0\r\nContent-Length: -5\r\n\r\n");
    EXPECT_FALSE(h.fang->packed);
    EXPECT_EQ(h.contentLength, -5);
    EXPECT_FALSE(net::ParseReplyHeaders("X-QVN-FANG: 1,2,1\r\n\r\n").fang)
        << "the reply's header is mixed case";
    EXPECT_EQ(net::ParseReplyHeaders("Content-Length: 99999999999999999999999\r\n").contentLength,
              INT64_MAX);
}

TEST(ReplyHeaders, ContentLengthIsANumberExactlyWhenItsDigitsAreRead) {
    struct Case {
        const char* text;
        bool number;
        std::int64_t value;
    };
    const Case cases[] = {
        {"12", true, 12},  {" \t+7", true, 7}, {"\v\f9", true, 9},
        {"-5", true, -5},  {"0x10", true, 0},  {"abc", false, 0},
        {"-+5", false, 0}, {"- 5", false, 0},  {"", false, 0},
    };
    for (const Case& c : cases) {
        const auto h =
            net::ParseReplyHeaders(std::string("Content-Length: ") + c.text + "\r\n\r\n");
        EXPECT_EQ(h.contentLengthIsNumber, c.number) << testing::PrintToString(c.text);
        EXPECT_EQ(h.contentLength, c.value) << testing::PrintToString(c.text);
    }
}

TEST(ReplyHeaders, ProxyAuthenticationFailureOnTheStatusLineOnly) {
    EXPECT_TRUE(net::IsProxyAuthenticationFailure("HTTP/1.1 407 Proxy\r\n\r\n"));
    EXPECT_TRUE(net::IsProxyAuthenticationFailure("HTTP/1.0 407\r\n\r\n"));
    EXPECT_FALSE(net::IsProxyAuthenticationFailure("HTTP/1.1 200 OK\r\nX: HTTP/1.1 407\r\n"));
    EXPECT_TRUE(net::IsProxyAuthenticationFailure("HTTP/1.1 4070\r\n"));
    EXPECT_FALSE(net::IsProxyAuthenticationFailure("HTTP/1.1 500\r\n"));
}

}  // namespace
