// The service's parsers on their own: request blocks and header values,
// and key settings files.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tools/service/key_settings.h"
#include "tools/service/request.h"

namespace {

using qvn_service::FaultKind;

TEST(RequestParseTest, FindsTheEndOfAHeaderBlockInEachLineEndStyle) {
    using qvn_service::FindHeaderEnd;
    EXPECT_EQ(FindHeaderEnd("GET / HTTP/1.1\r\nA: b\r\n\r\nrest"), 24u);
    EXPECT_EQ(FindHeaderEnd("GET / HTTP/1.1\r\n\nrest"), 17u);
    EXPECT_EQ(FindHeaderEnd("GET / HTTP/1.1\n\n"), 16u);
    EXPECT_FALSE(FindHeaderEnd("GET / HTTP/1.1\r\nA: b\r\n").has_value());
    EXPECT_FALSE(FindHeaderEnd("GET / HTTP/1.1\r\n\r").has_value());
    EXPECT_FALSE(FindHeaderEnd("").has_value());
    EXPECT_EQ(FindHeaderEnd("\n\n"), 2u);
}

TEST(RequestParseTest, ReadsTheRequestLineAndHeadersWithoutRegardToNameCase) {
    const auto request = qvn_service::ParseRequest(
        "GET /scripts/qzupld9.dll?DownLoad HTTP/1.1\r\n"
        "Host: b2.qvn.test\r\n"
        "x-qvn-lupin:   0,12;  \r\n"
        "X-QVN-LUPIN: 0,99;\r\n"
        "Empty:\r\n"
        "\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "GET");
    EXPECT_EQ(request->target, "/scripts/qzupld9.dll?DownLoad");
    EXPECT_EQ(request->version, "HTTP/1.1");
    EXPECT_EQ(request->Header("X-QVN-LUPIN"), "0,12;");
    EXPECT_EQ(request->Header("empty"), "");
    EXPECT_FALSE(request->Header("Missing").has_value());
    EXPECT_FALSE(request->WantsClose());

    EXPECT_TRUE(qvn_service::ParseRequest("GET / HTTP/1.0\r\n\r\n")->WantsClose());
    EXPECT_FALSE(qvn_service::ParseRequest("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n")
                     ->WantsClose());
    EXPECT_TRUE(
        qvn_service::ParseRequest("GET / HTTP/1.1\r\nconnection: CLOSE\r\n\r\n")->WantsClose());

    std::string many = "GET / HTTP/1.1\r\n";
    for (std::size_t i = 0; i < qvn_service::kMaxHeaderLines; ++i) {
        many += "A: b\r\n";
    }
    EXPECT_FALSE(qvn_service::ParseRequest(many + "\r\n").has_value());
}

TEST(RequestParseTest, ClassifiesProtocolAndFileTargets) {
    using Kind = qvn_service::Target::Kind;
    const auto protocol = qvn_service::ClassifyTarget("/scripts/qzupld9.dll?DKFL");
    EXPECT_EQ(protocol.kind, Kind::Protocol);
    EXPECT_EQ(protocol.word, "DKFL");
    const auto file = qvn_service::ClassifyTarget("/files/My%20Key/a/b%2fc%zz%4");
    EXPECT_EQ(file.kind, Kind::File);
    EXPECT_EQ(file.key, "My Key");
    EXPECT_EQ(file.relative, "a/b/c%zz%4");
    for (const char* other : {"/scripts/qzupld9.dll", "/scripts/qzupld9.dllx?VDLK", "/files/",
                              "/files/Key", "/files/Key/", "/files//a", "/"}) {
        EXPECT_EQ(qvn_service::ClassifyTarget(other).kind, Kind::Unknown) << other;
    }
}

TEST(RequestParseTest, ReadsIdentifiersCopyDescriptionsAndTheZipWish) {
    EXPECT_EQ(qvn_service::FileIdFromLupin("0,17;"), "17");
    EXPECT_EQ(qvn_service::FileIdFromLupin("0,17"), "17");
    EXPECT_FALSE(qvn_service::FileIdFromLupin("0,;").has_value());
    EXPECT_FALSE(qvn_service::FileIdFromLupin("17").has_value());

    const std::string digest = "ABEiM0RVZneImaq7zN3u/w==";  // 00 11 22 ... ff
    const auto copy = qvn_service::ParseRestartDescription(digest + ",4096,3;");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->size, 4096u);
    EXPECT_EQ(copy->digest[1], 0x11);
    EXPECT_EQ(copy->digest[15], 0xFF);
    for (const std::string& bad :
         {digest + ",-1,3;", digest + ",12a,3;", digest + ",,3;", digest + ",4096",
          std::string("AAAA,4096,3;"), "," + std::string(",4096,3;")}) {
        EXPECT_FALSE(qvn_service::ParseRestartDescription(bad).has_value()) << bad;
    }

    EXPECT_TRUE(qvn_service::AcceptsZip("711,2222,0,1,0"));
    EXPECT_FALSE(qvn_service::AcceptsZip("711,2222,0,0,0"));
    EXPECT_FALSE(qvn_service::AcceptsZip("1,1,1"));
    EXPECT_FALSE(qvn_service::AcceptsZip(""));
}

TEST(KeySettingsTest, ReadsEverySettingWithCommentsBlanksAndLineEnds) {
    const auto parsed = qvn_service::ParseKeySettings(
        "# settings\r\n"
        "\n"
        "  encipher = yes\r\n"
        "zip=NO\n"
        "max_downloads = 4\n"
        "connection_close = true\n"
        "key_index = 510\n"
        "duplicates.sub\\a.txt = 2\n"
        "zip.sub\\a.txt = no\n"
        "zip.b.txt = yes\n"
        "extra = 7\\tTop\\\\x\\y.txt\\t1\\t \\t0\\t0\\t\n"
        "extra = 8\\t#hash\\r\\n\n"
        "code_page = ISO-8859-15\n");
    EXPECT_TRUE(parsed.problems.empty());
    const auto& settings = parsed.settings;
    EXPECT_TRUE(settings.encipher);
    EXPECT_FALSE(settings.zip);
    EXPECT_EQ(settings.maxDownloads, 4);
    EXPECT_TRUE(settings.connectionClose);
    EXPECT_EQ(settings.keyIndex, 510);
    EXPECT_EQ(settings.duplicates.at("sub/a.txt"), 2);
    EXPECT_FALSE(settings.ZipFile("sub/a.txt"));
    EXPECT_TRUE(settings.ZipFile("b.txt")) << "the file's own choice";
    EXPECT_FALSE(settings.ZipFile("c.txt")) << "the key's";
    ASSERT_EQ(settings.extraRecords.size(), 2u);
    EXPECT_EQ(settings.extraRecords[0], "7\tTop\\x\\y.txt\t1\t \t0\t0\t");
    EXPECT_EQ(settings.extraRecords[1], "8\t#hash\r\n");
    EXPECT_EQ(settings.codePage, "ISO-8859-15");

    const auto defaults = qvn_service::ParseKeySettings("");
    EXPECT_FALSE(defaults.settings.encipher);
    EXPECT_FALSE(defaults.settings.maxDownloads.has_value());
    EXPECT_FALSE(defaults.settings.keyIndex.has_value());
    EXPECT_FALSE(defaults.settings.codePage.has_value());
}

TEST(KeySettingsTest, ReadsFaultRulesWithTheirOptions) {
    const auto parsed = qvn_service::ParseKeySettings(
        "fault = close_body file=sub\\a.txt after=100 times=3 word=DownLoad\n"
        "fault = bad_content_length=-5\n"
        "fault = stall_header file=\"with blank.txt\"\n"
        "fault = refuse word=DKFL for=250\n"
        "fault = refuse\n"
        "fault = zip_declared_size=4294967294 file=a.txt\n"
        "fault = hide_file file=sub\\b.txt times=2 word=DKFL\n"
        "fault = long_header\n"
        "fault = long_header after=300\n"
        "fault = slow_body after=10 for=300\n");
    ASSERT_TRUE(parsed.problems.empty()) << parsed.problems.front();
    const auto& faults = parsed.settings.faults;
    ASSERT_EQ(faults.size(), 10u);
    EXPECT_EQ(faults[0].kind, FaultKind::CloseBody);
    EXPECT_EQ(faults[0].file, "sub/a.txt");
    EXPECT_EQ(faults[0].after, 100u);
    EXPECT_EQ(faults[0].times, 3);
    EXPECT_EQ(faults[0].word, "DownLoad");
    EXPECT_EQ(faults[1].kind, FaultKind::BadContentLength);
    EXPECT_EQ(faults[1].value, "-5");
    EXPECT_EQ(faults[1].times, 1);
    EXPECT_FALSE(faults[1].file.has_value());
    EXPECT_EQ(faults[2].file, "with blank.txt");
    EXPECT_EQ(faults[3].kind, FaultKind::Refuse);
    EXPECT_EQ(faults[3].word, "DKFL");
    EXPECT_EQ(faults[3].duration, std::chrono::milliseconds(250));
    EXPECT_EQ(faults[4].duration, std::chrono::milliseconds(1000));
    EXPECT_EQ(faults[5].kind, FaultKind::ZipDeclaredSize);
    EXPECT_EQ(faults[5].declaredSize, 4294967294u);
    EXPECT_EQ(faults[6].kind, FaultKind::HideFile);
    EXPECT_EQ(faults[6].file, "sub/b.txt");
    EXPECT_EQ(faults[6].times, 2);
    EXPECT_EQ(faults[7].after, 5000u) << "past a client's 4 KiB unless told";
    EXPECT_EQ(faults[8].after, 300u);
    EXPECT_EQ(faults[9].kind, FaultKind::SlowBody);
    EXPECT_EQ(faults[9].after, 10u);
    EXPECT_EQ(faults[9].duration, std::chrono::milliseconds(300));
    // Two equal lines are two rules, counted apart.
    EXPECT_NE(faults[0].identity, faults[1].identity);
    for (const FaultKind kind :
         {FaultKind::CloseBody, FaultKind::CloseHeader, FaultKind::StallBody,
          FaultKind::StallHeader, FaultKind::ProxyAuth, FaultKind::Garbage,
          FaultKind::ConnectionClose, FaultKind::CorruptZip, FaultKind::BadCrcZip,
          FaultKind::NoFangIndex, FaultKind::Refuse, FaultKind::Bzip2Zip, FaultKind::EncryptedZip,
          FaultKind::LongHeader, FaultKind::SlowBody}) {
        const auto one = qvn_service::ParseKeySettings(
            "fault = " + std::string(qvn_service::FaultKindName(kind)) + "\n");
        ASSERT_EQ(one.settings.faults.size(), 1u) << qvn_service::FaultKindName(kind);
        EXPECT_EQ(one.settings.faults[0].kind, kind);
    }
}

TEST(KeySettingsTest, SkipsLinesItDoesNotUnderstandAndSaysWhy) {
    const auto parsed = qvn_service::ParseKeySettings(
        "zip = perhaps\n"
        "max_downloads = -1\n"
        "duplicates. = 3\n"
        "zip. = yes\n"
        "zip.a.txt = maybe\n"
        "just words\n"
        "fault =\n"
        "fault = garbage=1\n"
        "fault = bad_content_length\n"
        "fault = close_body after\n"
        "fault = close_body times=0\n"
        "fault = close_body colour=red\n"
        "fault = stall_body file=\"open\n"
        "fault = close_body for=100\n"
        "fault = refuse for=0\n"
        "fault = refuse for=600001\n"
        "key_index = 511\n"
        "key_index = -3\n"
        "fault = zip_declared_size\n"
        "fault = zip_declared_size=4294967295\n"
        "fault = zip_declared_size=-1\n"
        "fault = bzip2_zip=1\n"
        "fault = hide_file\n"
        "fault = hide_file file=a.txt word=VDLK\n"
        "fault = long_header after=1048577\n"
        "fault = slow_body for=600001\n"
        "code_page = NO-SUCH-CODE-PAGE\n"
        "encipher = yes\n");
    EXPECT_TRUE(parsed.settings.encipher);
    EXPECT_TRUE(parsed.settings.faults.empty());
    EXPECT_TRUE(parsed.settings.zipFiles.empty());
    EXPECT_FALSE(parsed.settings.keyIndex.has_value());
    EXPECT_FALSE(parsed.settings.codePage.has_value());
    ASSERT_EQ(parsed.problems.size(), 27u);
    EXPECT_EQ(parsed.problems[0], "line 1: zip needs yes or no");
    EXPECT_EQ(parsed.problems[3], "line 4: zip.<name> needs a name and yes or no");
    EXPECT_EQ(parsed.problems[4], "line 5: zip.<name> needs a name and yes or no");
    EXPECT_EQ(parsed.problems[5], "line 6: not a \"name = value\" line");
    EXPECT_EQ(parsed.problems[7], "line 8: fault kind \"garbage\" takes no value");
    EXPECT_EQ(parsed.problems[11], "line 12: unknown fault option \"colour\"");
    EXPECT_EQ(parsed.problems[13], "line 14: for= belongs to refuse and slow_body only");
    EXPECT_EQ(parsed.problems[14], "line 15: for= needs a number of milliseconds from 1 to 600000");
    EXPECT_EQ(parsed.problems[15], "line 16: for= needs a number of milliseconds from 1 to 600000");
    EXPECT_EQ(parsed.problems[16], "line 17: key_index needs a number from 0 to 510");
    EXPECT_EQ(parsed.problems[17], "line 18: key_index needs a number from 0 to 510");
    const std::vector<std::string> later = {
        "line 19: zip_declared_size needs its size: zip_declared_size=<size>",
        "line 20: zip_declared_size needs a number of bytes from 0 to 4294967294",
        "line 21: zip_declared_size needs a number of bytes from 0 to 4294967294",
        "line 22: fault kind \"bzip2_zip\" takes no value",
        "line 23: hide_file needs file=<name> and applies to DKFL only",
        "line 24: hide_file needs file=<name> and applies to DKFL only",
        "line 25: long_header's after= goes up to 1048576",
        "line 26: for= needs a number of milliseconds from 1 to 600000",
        "line 27: code_page \"NO-SUCH-CODE-PAGE\" is not a code page this system converts to",
    };
    EXPECT_EQ(std::vector<std::string>(parsed.problems.begin() + 18, parsed.problems.end()), later);
}

}  // namespace
