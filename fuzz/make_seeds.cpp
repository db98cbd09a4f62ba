// Writes the fuzz targets' seed corpora: small inputs in the program's own
// formats. Replies, lists, enciphered messages and zip archives come from
// the stand-in service answering real requests for a sample key folder, so
// the seeds are what a connection delivers.
//
//   fuzz_seeds [CORPUS_FOLDER]      (default: fuzz/corpus of the sources)
//
// Each seed is written to CORPUS_FOLDER/<target>/<name>, replacing a seed
// of that name; other files there are left alone.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "net/message_cipher.h"
#include "net/request_builder.h"
#include "net/service_date.h"
#include "platform/file.h"
#include "platform/file_time.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "tools/service/key_folder.h"
#include "tools/service/reply.h"
#include "tools/service/request.h"
#include "tools/service/responder.h"
#include "tools/service/zip_body.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "K7QX2M";

class SeedWriter {
  public:
    explicit SeedWriter(fs::path root) : root_(std::move(root)) {}

    void Write(const std::string& target, const std::string& name, const std::string& bytes) {
        const fs::path folder = root_ / target;
        fs::create_directories(folder);
        if (!platform::WriteWholeFile((folder / name).string(), bytes).ok()) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", (folder / name).c_str());
            failed_ = true;
            return;
        }
        ++written_;
    }

    bool failed() const { return failed_; }
    int written() const { return written_; }

  private:
    fs::path root_;
    bool failed_ = false;
    int written_ = 0;
};

std::string Binary(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

// The sample key: a few files at two depths, one with characters that the
// client escapes, dated at fixed times so that the seeds never change.
class SampleService {
  public:
    SampleService() {
        const std::string key = folder_.Sub(kKey);
        AddFile(key + "/notes.txt", "Quarterly figures follow.\nSee the attached sheets.\n",
                1'167'579'930);
        AddFile(key + "/sheets/summary: Q3?.csv", "region,total\nnorth,12\nsouth,7\n",
                1'170'000'000);
        AddFile(key + "/sheets/raw.bin", Binary(300, 1), 1'200'000'000);
        Settings("");
    }

    void Settings(const std::string& text) {
        // A new service run per settings file, so fault rules apply again.
        responder_.reset();
        counters_ = std::make_unique<qvn_service::RunCounters>();
        responder_.emplace(folder_.path(), fuzz::FuzzKeyTable(), *counters_, clock_, nullptr);
        folder_.Write(std::string(kKey) + ".conf", text);
    }

    // The reply to a request word, as the client sends it, and its body
    // as it goes over the wire.
    std::string Exchange(const std::string& word, const std::string& fileId = "",
                         bool offerZip = false, const std::string& restart = "") {
        net::Credentials credentials;
        credentials.downloadKey = kKey;
        const std::string lines =
            net::AddCredentialHeaders(fuzz::FuzzKeyTable(), credentials, clock_).value();
        std::string request;
        if (word == "DownLoad") {
            net::FangRequest fang;
            fang.transferCompress = offerZip;
            request = net::DownloadRequestText("b2.quorvane.example", lines, fileId, restart, fang);
        } else {
            request = net::ServiceRequestText(word, "b2.quorvane.example", lines, fileId);
        }
        const auto parsed = qvn_service::ParseRequest(request);
        const qvn_service::Response response =
            responder_->Respond(parsed.value(), std::string(kKey), random_);
        if (response.raw) {
            return *response.raw;
        }
        std::string wire = response.reply.HeaderText();
        if (response.reply.body && !response.reply.contentLengthText) {
            qvn_service::BodyStream stream(*response.reply.body);
            std::string piece;
            while (stream.Next(piece)) {
                wire += piece;
            }
        }
        return wire;
    }

    std::string Body(const std::string& wire) const {
        return wire.substr(wire.find("\r\n\r\n") + 4);
    }

    std::string Restart(const std::string& relative, std::size_t length) const {
        const std::string content = folder_.Read(std::string(kKey) + "/" + relative);
        const std::string copy = content.substr(0, length);
        return net::BuildRestartHeader(
            std::span(reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size()), "1");
    }

  private:
    void AddFile(const std::string& path, const std::string& content, std::int64_t seconds) {
        fs::create_directories(fs::path(path).parent_path());
        (void)platform::WriteWholeFile(path, content);
        auto file = platform::File::Open(path, platform::FileAccess::WriteExisting);
        (void)file->SetLastWriteTime(platform::FileTimeFromUnix(seconds, 0));
    }

    testing_support::TempDir folder_;
    testing_support::FakeClock clock_{1'262'304'000};
    std::unique_ptr<qvn_service::RunCounters> counters_;
    std::mt19937 random_{20240611};
    std::optional<qvn_service::Responder> responder_;
};

void CommandLineSeeds(SeedWriter& out) {
    using namespace std::string_literals;
    out.Write("command_line", "argv-plain", "/usr/bin/trevasto\0/home/ana/Downloads/key.qvn"s);
    out.Write("command_line", "argv-blank-in-program",
              "/opt/my apps/trevasto\0/home/ana/Downloads/key 2.qvn"s);
    out.Write("command_line", "argv-two-arguments", "trevasto\0/tmp/key\0file.qvn"s);
    out.Write("command_line", "raw-quoted-both", "\"/opt/my apps/trevasto\" \"/tmp/k 1.qvn\"");
    out.Write("command_line", "raw-blank-run", "trevasto    /tmp/k.qvn");
    out.Write("command_line", "raw-program-only", "trevasto");
}

void KeyFileSeeds(SeedWriter& out) {
    using namespace std::string_literals;
    out.Write("key_file", "plain", "download=K7QX2M");
    out.Write("key_file", "crlf", "download=K7QX2M\r\n");
    out.Write("key_file", "upper-case-with-nul", "DOWNLOAD=K7QX2M\0trailing bytes"s);
    out.Write("key_file", "longest-key", "download=" + std::string(118, 'k'));
    out.Write("key_file", "key-one-too-long", "download=" + std::string(119, 'k'));
    out.Write("key_file", "past-255-bytes", "download=" + std::string(300, 'z'));
    out.Write("key_file", "other-word", "upload=K7QX2M\r\n");
    out.Write("key_file", "empty-key", "download=");
}

void DeploymentSeeds(SeedWriter& out) {
    const auto packaged = platform::ReadFileStart(
        std::string(TREVASTO_SOURCE_DIR) + "/packaging/deployment.conf.in", 64 * 1024);
    if (packaged.ok()) {
        out.Write("deployment", "packaged-template", packaged.value());
    }
    out.Write("deployment", "demo-service", "service_host = localhost\nkey_table = keytable.bin\n");
    out.Write("deployment", "two-servers",
              "servers = 127.0.0.1:8080 10.0.0.5:65535\nkey_table = /etc/trevasto/keytable.bin\n");
    out.Write("deployment", "bom-crlf-comments",
              "\xEF\xBB\xBF# test machine\r\nservice_host = qvn.example   # trailing\r\n"
              "servers = b9.qvn.example:80\r\n\tkey_table =  tables/short.bin \r\n");
    out.Write("deployment", "bad-port", "servers = host:0 host:65536\nkey_table = k.bin\n");
    out.Write("deployment", "set-twice",
              "service_host = a.example\nservice_host = b.example\nkey_table = missing.bin\n");
}

void KeyFileListSeeds(SeedWriter& out, SampleService& service) {
    service.Settings("");
    out.Write("key_file_list", "three-files", service.Body(service.Exchange("DKFL")));
    service.Settings(
        "duplicates.notes.txt = 2\n"
        "extra = 99\\tK7QX2M\\\\..\\\\..\\\\escape.txt\\t5\\t \\t0\\t0\\t\n"
        "extra = 100\\tK7QX2M\\\\C:\\\\win.ini\\t1\\t07D60C1F0F2D1E\\t0\\t0\\t\n"
        "extra = 1234567890123456\\tK7QX2M\\\\long id.txt\\t1\\t07DA010100000\\t0\\t0\\t\n");
    out.Write("key_file_list", "extra-records", service.Body(service.Exchange("DKFL")));
    out.Write("key_file_list", "one-record", "7\tTop\\a.txt\t10\t07D60C1F0F2D1E\t0\t0\t\r\n");
    out.Write("key_file_list", "short-record", "1\tT\\a\t5\t \t3\t9\t2\tT\\b");
}

void ServiceDateSeeds(SeedWriter& out) {
    for (const std::int64_t seconds : {0LL, 1'167'579'930LL, 4'102'444'799LL}) {
        out.Write("service_date", "unix-" + std::to_string(seconds),
                  *net::FormatServiceDate(platform::FileTimeFromUnix(seconds, 0)));
    }
    out.Write("service_date", "leap-day", "07D0021D173B3B");
    out.Write("service_date", "lower-case", "07d60c1f0f2d1e");
    out.Write("service_date", "no-date", " ");
}

void JoinUnderSeeds(SeedWriter& out) {
    using namespace std::string_literals;
    out.Write("join_under", "one-level", "\x00notes.txt"s);
    out.Write("join_under", "nested", "\x01sheets\\summary%3a Q3%3f.csv"s);
    out.Write("join_under", "dot-dot", "\x02sheets\\..\\..\\escape.txt"s);
    out.Write("join_under", "drive", "\x03C:\\win.ini"s);
    out.Write("join_under", "leading-separator", "\x04\\etc\\passwd"s);
}

void ReplySeeds(SeedWriter& out, SampleService& service) {
    service.Settings("");
    out.Write("reply_header", "verify", service.Exchange("VDLK"));
    out.Write("reply_header", "list", service.Exchange("DKFL"));
    const std::string download = service.Exchange("DownLoad", "1");
    out.Write("reply_header", "download", download);
    out.Write("reply_header", "download-restart",
              service.Exchange("DownLoad", "1", false, service.Restart("notes.txt", 10)));
    out.Write("reply_header", "already-complete",
              service.Exchange("DownLoad", "1", false, service.Restart("notes.txt", 1000)));
    out.Write("reply_header", "unknown-file", service.Exchange("DownLoad", "77"));
    out.Write("reply_header", "keep-alive-two-replies", service.Exchange("VDLK") + download);

    service.Settings("encipher = yes\nzip = yes\n");
    const std::string list = service.Exchange("DKFL");
    out.Write("reply_header", "list-enciphered", list);
    out.Write("reply_header", "download-zip-enciphered", service.Exchange("DownLoad", "1", true));
    out.Write("message_cipher", "list-apart", '\x00' + service.Body(list));
    out.Write("message_cipher", "list-short-room", '\x05' + service.Body(list));
    const std::string file = service.Exchange("DownLoad", "2");
    out.Write("message_cipher", "file-stream", '\x07' + service.Body(file));

    service.Settings(
        "fault = proxy_auth word=VDLK\n"
        "fault = bad_content_length=-5 word=DKFL\n"
        "fault = no_fang_index\n"
        "fault = garbage word=DLCK\n"
        "connection_close = yes\n");
    out.Write("reply_header", "proxy-auth", service.Exchange("VDLK"));
    out.Write("reply_header", "bad-content-length", service.Exchange("DKFL"));
    out.Write("reply_header", "no-fang-index", service.Exchange("DownLoad", "3"));
    out.Write("reply_header", "garbage", service.Exchange("DLCK"));
}

void MessageSeeds(SeedWriter& out) {
    // A credentials token: the key, a comma and a NUL under index 300.
    const std::string plain = std::string(kKey) + ",";
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    bytes.push_back(0);
    std::vector<std::uint8_t> token(net::EncipheredCapacity(bytes.size()));
    token.resize(net::EncipherWithIndex(fuzz::FuzzKeyTable(), bytes, 300, 3, token));
    out.Write("message_cipher", "token-index-300",
              '\x03' + std::string(token.begin(), token.end()));
    out.Write("message_cipher", "prefix-only", std::string("\x00\x01\xFF", 3));
}

void ZipSeeds(SeedWriter& out, SampleService& service) {
    using qvn_service::ZipDamage;
    const std::string text = "Quarterly figures follow.\nSee the attached sheets.\n";
    out.Write("zip_extractor", "service-member",
              qvn_service::ZipSingleMember("notes.txt", text, ZipDamage::None).value());
    out.Write("zip_extractor", "service-damaged-deflate",
              qvn_service::ZipSingleMember("notes.txt", text, ZipDamage::DeflateData).value());
    out.Write("zip_extractor", "service-bad-crc",
              qvn_service::ZipSingleMember("notes.txt", text, ZipDamage::Crc).value());
    out.Write("zip_extractor", "service-empty-member",
              qvn_service::ZipSingleMember("empty.txt", "", ZipDamage::None).value());

    service.Settings("zip = yes\n");
    const std::string reply = service.Exchange("DownLoad", "1", true);
    out.Write("zip_extractor", "download-body", service.Body(reply));

    // Archives of the test writer: more than one member, and names that
    // point elsewhere (never used: the member goes to the target given).
    testing_support::TempDir folder;
    const std::string path = folder.Sub("written.zip");
    if (testing_support::WriteZip(path, {{"../../escape.txt", "outside?"},
                                         {"/etc/passwd", "absolute"},
                                         {"second.txt", Binary(64, 2)}})) {
        out.Write("zip_extractor", "writer-member-names", folder.Read("written.zip"));
    }

    // What the service's writer never writes but another might: data
    // descriptors, a stored member after foreign bytes, a zip64 end record,
    // zip64 sizes in the extra fields.
    const auto member = [&](bool stored, bool descriptor) {
        testing_support::ZipMemberSpec spec;
        spec.name = "notes.txt";
        spec.data = text;
        spec.stored = stored;
        spec.descriptor = descriptor;
        return spec;
    };
    using testing_support::BuildZip;
    out.Write("zip_extractor", "writer-descriptor", BuildZip({member(false, true)}).bytes);
    out.Write("zip_extractor", "writer-stored-descriptor", BuildZip({member(true, true)}).bytes);
    out.Write("zip_extractor", "writer-bytes-before",
              "MZ" + std::string(62, '\0') + BuildZip({member(true, false)}).bytes);
    out.Write("zip_extractor", "writer-zip64-end",
              BuildZip({member(false, false)}, testing_support::ZipEnd::Zip64).bytes);
    testing_support::ZipMemberSpec zip64 = member(true, false);
    zip64.centralExtra = zip64.localExtra =
        testing_support::Little(1, 2) + testing_support::Little(16, 2) +
        testing_support::Little(text.size(), 8) + testing_support::Little(text.size(), 8);
    testing_support::ZipLayout sizes = BuildZip({zip64}, testing_support::ZipEnd::Zip64);
    for (const std::size_t at : {sizes.locals[0] + 18, sizes.centrals[0] + 20}) {
        testing_support::PutLittle(sizes.bytes, at, 8, 0xFFFFFFFFFFFFFFFF);
    }
    out.Write("zip_extractor", "writer-zip64-sizes", sizes.bytes);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path root =
        argc > 1 ? fs::path(argv[1]) : fs::path(TREVASTO_SOURCE_DIR) / "fuzz" / "corpus";
    SeedWriter out(root);
    SampleService service;
    CommandLineSeeds(out);
    KeyFileSeeds(out);
    DeploymentSeeds(out);
    KeyFileListSeeds(out, service);
    ServiceDateSeeds(out);
    JoinUnderSeeds(out);
    ReplySeeds(out, service);
    MessageSeeds(out);
    ZipSeeds(out, service);
    std::printf("fuzz_seeds: %d seeds written below %s\n", out.written(), root.c_str());
    return out.failed() ? 1 : 0;
}
