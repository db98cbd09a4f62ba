// Dating files with service dates, the compressible-name rule and
// unpacking zip archives, the same table of archives against every zip
// reader the build has (minizip's and the engine's own on Linux).

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <ostream>

#include "engine/service_date.h"
#include "engine/zip_extractor.h"
#include "engine/zip_reader.h"
#include "platform/file.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

// Readable failure messages: the readers and verdicts by name.
namespace engine {
void PrintTo(const ZipReaderKind& reader, std::ostream* out) {
    *out << reader.name;
}
void PrintTo(UnzipFailure failure, std::ostream* out) {
    constexpr const char* kNames[] = {"None",    "NotAnArchive", "UnsupportedMethod", "Encrypted",
                                      "BadData", "SizeMismatch", "WriteFailed",       "Zip64"};
    *out << kNames[static_cast<int>(failure)];
}
}  // namespace engine

namespace {

TEST(ServiceDate, StampsTheLastWriteTime) {
    testing_support::TempDir dir;
    dir.Write("f.txt", "x");
    platform::SysError error;
    ASSERT_TRUE(engine::SetFileDateFromServer(dir.Sub("f.txt"), "07D60C1F0F2D1E", &error));
    EXPECT_EQ(platform::GetFileInfo(dir.Sub("f.txt"))->lastWrite,
              *platform::SystemTimeToFileTime({2006, 12, 0, 31, 15, 45, 30, 0}));
    // No date: nothing changes and it counts as done.
    EXPECT_TRUE(engine::SetFileDateFromServer(dir.Sub("f.txt"), " ", &error));
    EXPECT_TRUE(engine::SetFileDateFromServer(dir.Sub("missing"), "", &error));
    EXPECT_FALSE(engine::SetFileDateFromServer(dir.Sub("f.txt"), "07D60C1F", &error));
    EXPECT_EQ(error.code, EINVAL);
    EXPECT_FALSE(engine::SetFileDateFromServer(dir.Sub("missing"), "07D60C1F0F2D1E", &error));
    EXPECT_TRUE(error.NotFound());
}

TEST(IsCompressible, ExtensionTableAndSizeRule) {
    EXPECT_TRUE(engine::IsCompressible("report.PDF", 0));
    EXPECT_FALSE(engine::IsCompressible("photo.JPG", 0));
    EXPECT_FALSE(engine::IsCompressible("/d/x.tar.gz", 0));
    EXPECT_FALSE(engine::IsCompressible("song.mp3", 0));
    EXPECT_TRUE(engine::IsCompressible("README", 0));
    EXPECT_FALSE(engine::IsCompressible("notes.txt", 5000));
    EXPECT_TRUE(engine::IsCompressible("notes.txt", 200000));
    EXPECT_TRUE(engine::IsCompressible("notes.txt", 102400));
    EXPECT_FALSE(engine::IsCompressible("notes.txt", 102399));
    EXPECT_TRUE(engine::IsCompressible("/home/my.docs/readme", 0))
        << "a dot in a folder makes the rest of the path the extension";
    EXPECT_TRUE(engine::IsCompressible("archive.zipx", 0));
}

// Offsets of the fields the readers judge, in a member's local header and
// in its central directory entry (both readers compare the two).
struct HeaderField {
    std::size_t local;
    std::size_t central;
    std::size_t width;
};
constexpr HeaderField kFlag{6, 8, 2};
constexpr HeaderField kMethod{8, 10, 2};
constexpr HeaderField kCrc{14, 16, 4};
constexpr HeaderField kPackedSize{18, 20, 4};
constexpr HeaderField kDeclaredSize{22, 24, 4};
constexpr HeaderField kNameLength{26, 28, 2};
constexpr std::size_t kCentralExtraLength = 30;
constexpr std::size_t kCentralLocalOffset = 42;
constexpr std::size_t kZip64RecordDisk = 16;

using testing_support::BuildZip;
using testing_support::ZipLayout;
using testing_support::ZipMemberSpec;
enum class Header { Both, Local, Central };

// Changes a field of the first member in one or both of its headers.
ZipLayout Patched(ZipLayout layout, HeaderField field, std::uint64_t value,
                  Header where = Header::Both) {
    if (where != Header::Central) {
        testing_support::PutLittle(layout.bytes, layout.locals[0] + field.local, field.width,
                                   value);
    }
    if (where != Header::Local) {
        testing_support::PutLittle(layout.bytes, layout.centrals[0] + field.central, field.width,
                                   value);
    }
    return layout;
}

ZipMemberSpec Member(std::string name, std::string data, bool stored = false,
                     bool descriptor = false) {
    ZipMemberSpec member;
    member.name = std::move(name);
    member.data = std::move(data);
    member.stored = stored;
    member.descriptor = descriptor;
    return member;
}

ZipLayout One(std::string data, bool stored = false, std::string name = "member.txt") {
    return BuildZip({Member(std::move(name), std::move(data), stored)});
}

// Compressible text and bytes that deflate hardly shrinks.
const std::string kText = [] {
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) {
        text += "line " + std::to_string(i) + " of the member\n";
    }
    return text;
}();
const std::string kNoise = [] {
    std::string noise(50000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 31 + (i >> 7) * 17) % 251);
    }
    return noise;
}();

struct Unzipped {
    engine::UnzipFailure failure;
    std::string out;
};

Unzipped Unzip(const engine::ZipReaderKind& reader, const std::string& archive) {
    engine::MemorySink out;
    const auto outcome =
        engine::ZipExtractor(reader).UnzipFirstEntry(engine::MemorySource(archive), out);
    return {outcome.failure, out.bytes};
}

struct ArchiveCase {
    const char* what;
    std::function<std::string()> archive;
    engine::UnzipFailure failure;
    std::string expected;           // what comes out of a good one
    std::size_t writtenAtMost = 0;  // of a bad one
};

using engine::UnzipFailure;

// The archive table: every reader must give each row's verdict.
const std::vector<ArchiveCase>& Archives() {
    static const std::vector<ArchiveCase> cases = {
        {"stored", [] { return One(kText, true).bytes; }, UnzipFailure::None, kText, 0},
        {"deflated", [] { return One(kText).bytes; }, UnzipFailure::None, kText, 0},
        {"deflated noise", [] { return One(kNoise).bytes; }, UnzipFailure::None, kNoise, 0},
        {"empty stored", [] { return One("", true).bytes; }, UnzipFailure::None, "", 0},
        {"empty deflated", [] { return One("").bytes; }, UnzipFailure::None, "", 0},
        {"two members: the first only",
         [] {
             return BuildZip({Member("a", kText), Member("b", "second")}).bytes;
         },
         UnzipFailure::None, kText},
        {"data descriptor, deflated",
         [] { return BuildZip({Member("d", kText, false, true)}).bytes; }, UnzipFailure::None,
         kText, 0},
        {"data descriptor, stored", [] { return BuildZip({Member("d", kText, true, true)}).bytes; },
         UnzipFailure::None, kText, 0},
        {"bytes before the archive", [] { return std::string(1000, 'x') + One(kText).bytes; },
         UnzipFailure::None, kText, 0},
        // The name never chooses the target, and it is never read.
        {"long name", [] { return One(kText, false, std::string(65535, 'n')).bytes; },
         UnzipFailure::None, kText, 0},
        {"climbing name", [] { return One(kText, false, "../../../etc/passwd").bytes; },
         UnzipFailure::None, kText, 0},
        {"odd name", [] { return One(kText, false, std::string("C:\\x\0\x01\xff/", 9)).bytes; },
         UnzipFailure::None, kText, 0},
        {"empty name", [] { return One(kText, true, "").bytes; }, UnzipFailure::None, kText, 0},
        // zip64: the directory may be found through a zip64 end record; a
        // member whose sizes are in zip64 fields is refused.
        {"zip64 end record",
         [] { return BuildZip({Member("z", kText)}, testing_support::ZipEnd::Zip64).bytes; },
         UnzipFailure::None, kText, 0},
        {"local sizes left to zip64",
         [] {
             return Patched(Patched(One(kText), kPackedSize, 0xFFFFFFFF, Header::Local),
                            kDeclaredSize, 0xFFFFFFFF, Header::Local)
                 .bytes;
         },
         UnzipFailure::None, kText, 0},
        {"zip64 sizes",
         [] {
             const std::string sizes = testing_support::Little(kText.size(), 8) +
                                       testing_support::Little(kText.size(), 8);
             const std::string extra =
                 testing_support::Little(1, 2) + testing_support::Little(16, 2) + sizes;
             ZipMemberSpec member = Member("z", kText, true);
             member.centralExtra = member.localExtra = extra;
             const ZipLayout zip = BuildZip({member});
             return Patched(Patched(zip, kPackedSize, 0xFFFFFFFF), kDeclaredSize, 0xFFFFFFFF).bytes;
         },
         UnzipFailure::Zip64, "", 0},
        {"zip64 end record of another disk",
         [] {
             ZipLayout zip = BuildZip({Member("z", kText)}, testing_support::ZipEnd::Zip64);
             const std::size_t record = zip.bytes.rfind(std::string("PK\x06\x06", 4));
             testing_support::PutLittle(zip.bytes, record + kZip64RecordDisk, 4, 1);
             return zip.bytes;
         },
         UnzipFailure::NotAnArchive, "", 0},
        {"no members", [] { return BuildZip({}).bytes; }, UnzipFailure::NotAnArchive, "", 0},
        {"not an archive", [] { return std::string("not an archive at all"); },
         UnzipFailure::NotAnArchive, "", 0},
        {"nothing", [] { return std::string(); }, UnzipFailure::NotAnArchive, "", 0},
        {"end record cut short", [] { return One(kText).bytes.substr(0, One(kText).end + 21); },
         UnzipFailure::NotAnArchive, "", 0},
        {"local header alone", [] { return One(kText).bytes.substr(0, 20); },
         UnzipFailure::NotAnArchive, "", 0},
        // The local header's first bytes are the archive's last: its other
        // fields are not there to be taken as zeros.
        {"local header cut off by the end",
         [] {
             ZipLayout zip = One("", true, "");
             const std::size_t cut = zip.bytes.size();
             zip.bytes += std::string("PK\x03\x04\x14\x00\x08\x00", 8);
             testing_support::PutLittle(zip.bytes, zip.centrals[0] + kCentralLocalOffset, 4, cut);
             return zip.bytes;
         },
         UnzipFailure::NotAnArchive, "", 0},
        {"extra field running off the end",
         [] {
             ZipLayout zip = One(kText);
             testing_support::PutLittle(zip.bytes, zip.centrals[0] + kCentralExtraLength, 2,
                                        0xFFFF);
             return zip.bytes;
         },
         UnzipFailure::NotAnArchive, "", 0},
        {"deflate stream cut short",
         [] { return Patched(One(kNoise), kPackedSize, kNoise.size() / 2).bytes; },
         UnzipFailure::BadData, "", kNoise.size() - 1},
        {"packed data cut off",
         [] { return Patched(One(kText, true), kPackedSize, 10000000).bytes; },
         UnzipFailure::BadData, "", kText.size()},
        {"headers disagree on the method",
         [] { return Patched(One(kText), kMethod, 0, Header::Local).bytes; },
         UnzipFailure::NotAnArchive, "", 0},
        {"headers disagree on the name",
         [] { return Patched(One(kText), kNameLength, 3, Header::Local).bytes; },
         UnzipFailure::NotAnArchive, "", 0},
        {"headers disagree on the CRC-32",
         [] { return Patched(One(kText), kCrc, 1, Header::Local).bytes; },
         UnzipFailure::NotAnArchive, "", 0},
        // What is wrong with the member itself.
        {"damaged deflate stream",
         [] {
             ZipLayout zip = One(kText);
             // Block type 3 is reserved: inflate stops at once.
             const std::size_t data = zip.locals[0] + 30 + std::string("member.txt").size();
             zip.bytes[data] = static_cast<char>(zip.bytes[data] | 0x06);
             return zip.bytes;
         },
         UnzipFailure::BadData, "", 0},
        {"damaged deflate data",
         [] {
             std::string bytes = One(kNoise).bytes;
             for (std::size_t i = 60; i < 400; ++i) {
                 bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
             }
             return bytes;
         },
         UnzipFailure::BadData, "", kNoise.size()},
        {"wrong CRC-32", [] { return Patched(One(kText), kCrc, 0x12345678).bytes; },
         UnzipFailure::BadData, "", kText.size()},
        {"wrong CRC-32 with a data descriptor",
         [] {
             return Patched(BuildZip({Member("d", kText, false, true)}), kCrc, 7, Header::Central)
                 .bytes;
         },
         UnzipFailure::BadData, "", kText.size()},
        {"declared smaller", [] { return Patched(One(kText), kDeclaredSize, 1000).bytes; },
         UnzipFailure::BadData, "", 1000},
        {"declared smaller, stored",
         [] { return Patched(One(kText, true), kDeclaredSize, 1000).bytes; }, UnzipFailure::BadData,
         "", 1000},
        {"declared larger",
         [] { return Patched(One(kText), kDeclaredSize, kText.size() + 1).bytes; },
         UnzipFailure::SizeMismatch, "", kText.size()},
        // 16 MiB of zeros pack into 16 KiB; the archive says 4 KiB.
        {"zip bomb",
         [] { return Patched(One(std::string(16 << 20, '\0')), kDeclaredSize, 4096).bytes; },
         UnzipFailure::BadData, "", 4096},
        {"encrypted", [] { return Patched(One(kText), kFlag, 1).bytes; }, UnzipFailure::Encrypted,
         "", 0},
        {"bzip2", [] { return Patched(One(kText), kMethod, 12).bytes; },
         UnzipFailure::UnsupportedMethod, "", 0},
        {"lzma", [] { return Patched(One(kText), kMethod, 14).bytes; },
         UnzipFailure::UnsupportedMethod, "", 0},
    };
    return cases;
}

class UnzipTest : public ::testing::TestWithParam<engine::ZipReaderKind> {};

TEST_P(UnzipTest, EveryArchiveOfTheTableGetsItsVerdict) {
    for (const ArchiveCase& c : Archives()) {
        SCOPED_TRACE(c.what);
        const Unzipped got = Unzip(GetParam(), c.archive());
        EXPECT_EQ(got.failure, c.failure);
        if (c.failure == UnzipFailure::None) {
            EXPECT_EQ(got.out, c.expected);
        } else {
            EXPECT_LE(got.out.size(), c.writtenAtMost);
        }
    }
}

TEST_P(UnzipTest, TheFirstMemberIsDescribedAsTheDirectorySaysIt) {
    const ZipLayout zip = BuildZip({Member("first.txt", kText), Member("second.txt", "second")});
    const auto member =
        engine::ZipExtractor(GetParam()).FirstMember(engine::MemorySource(zip.bytes));
    ASSERT_TRUE(member);
    EXPECT_EQ(member->declaredSize, kText.size());
    EXPECT_EQ(member->packedSize, zip.locals[1] - zip.locals[0] - 30 - 9);
    EXPECT_EQ(member->crc, crc32(0, reinterpret_cast<const Bytef*>(kText.data()),
                                 static_cast<uInt>(kText.size())));
    EXPECT_EQ(member->method, 8);
    EXPECT_FALSE(member->encrypted);
    const auto encrypted = engine::ZipExtractor(GetParam())
                               .FirstMember(engine::MemorySource(Patched(zip, kFlag, 1).bytes));
    ASSERT_TRUE(encrypted);
    EXPECT_TRUE(encrypted->encrypted);
    EXPECT_FALSE(engine::ZipExtractor(GetParam()).FirstMember(engine::MemorySource("PK")));
}

TEST_P(UnzipTest, AFileArchiveUnpacksIntoAFile) {
    testing_support::TempDir dir;
    ASSERT_TRUE(testing_support::WriteZip(dir.Sub("a.zip"), {{"a", kText}, {"b", "b"}}));
    auto archive = platform::File::Open(dir.Sub("a.zip"), platform::FileAccess::ReadShared);
    ASSERT_TRUE(archive);
    engine::MemorySink out;
    EXPECT_TRUE(
        engine::ZipExtractor(GetParam()).UnzipFirstEntry(engine::FileSource(*archive), out).ok());
    EXPECT_EQ(out.bytes, kText);
}

// A target that cannot be written fails the unpacking with its error.
TEST_P(UnzipTest, AWriteFailureStopsTheUnpacking) {
    struct FullSink final : engine::ByteSink {
        platform::Status Write(const std::uint8_t*, std::size_t) override {
            ++writes;
            return platform::SysError{ENOSPC};
        }
        int writes = 0;
    } full;
    const std::string archive = One(kText).bytes;
    const auto outcome =
        engine::ZipExtractor(GetParam()).UnzipFirstEntry(engine::MemorySource(archive), full);
    EXPECT_EQ(outcome.failure, UnzipFailure::WriteFailed);
    EXPECT_TRUE(outcome.writeError.NoSpace());
    EXPECT_EQ(full.writes, 1);
}

INSTANTIATE_TEST_SUITE_P(Readers, UnzipTest, ::testing::ValuesIn(engine::ZipReaders()),
                         [](const auto& info) { return std::string(info.param.name); });

// Beyond their verdicts, the readers agree on every byte they give out,
// also before a failure.
TEST(ZipReadersTest, AllReadersWriteTheSameBytesForEveryArchive) {
    for (const ArchiveCase& c : Archives()) {
        SCOPED_TRACE(c.what);
        const std::string archive = c.archive();
        const Unzipped first = Unzip(engine::ZipReaders().front(), archive);
        for (const engine::ZipReaderKind& reader : engine::ZipReaders()) {
            const Unzipped got = Unzip(reader, archive);
            EXPECT_EQ(got.failure, first.failure) << reader.name;
            EXPECT_TRUE(got.out == first.out) << reader.name;
        }
    }
}

// The extractor's own bound, whatever a reader gives: a reader that hands
// out more than the member declares is stopped before the excess is
// written.
TEST(ZipExtractorTest, AReaderThatGivesMoreThanDeclaredIsStoppedThere) {
    // Eight bytes twice, for a member of ten.
    struct Overflowing final : engine::ZipReader {
        std::optional<engine::ZipMember> FirstMember() override {
            return engine::ZipMember{10, 10, 0, 0, false};
        }
        bool OpenFirstMember() override { return true; }
        std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t length) override {
            const std::size_t piece = pieces++ < 2 ? std::min<std::size_t>(length, 8) : 0;
            std::fill_n(buffer, piece, 'x');
            return piece;
        }
        int pieces = 0;
    };
    const engine::ZipReaderKind overflowing{
        "overflowing", [](const engine::ByteSource&) -> std::unique_ptr<engine::ZipReader> {
            return std::make_unique<Overflowing>();
        }};
    engine::MemorySink out;
    EXPECT_EQ(
        engine::ZipExtractor(overflowing).UnzipFirstEntry(engine::MemorySource(""), out).failure,
        UnzipFailure::SizeMismatch);
    EXPECT_EQ(out.bytes, "xxxxxxxx");
}

}  // namespace
