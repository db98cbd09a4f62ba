#pragma once
// The settings of one key, read from the file "<root>/<KEY>.conf" beside the
// key's folder. Lines are "name = value"; blank lines and lines whose first
// non-blank character is '#' are ignored:
//
//   encipher = yes                 # lists and files go out enciphered
//   zip = yes                      # whole files may go out as zip archives
//   zip.sub/notes.txt = no         # one file's own choice, over the key's
//   max_downloads = 3              # file replies before the key is used up
//   connection_close = yes         # every reply ends its connection
//   key_index = 7                  # enciphered files always use key window 7
//   duplicates.sub/a.txt = 2       # fifth list field of that file
//   extra = 99\tTop\\x?.txt\t1\t \t0\t0\t   # a raw list record (escapes below)
//   code_page = WINDOWS-1252       # the list gives names in this code page
//   fault = close_body file=a.txt after=100 times=2 word=DownLoad
//   fault = refuse word=DownLoad for=800      # ports shut for 800 ms
//   fault = zip_declared_size=100 file=a.txt  # a zip that names the wrong size
//   fault = hide_file file=sub/a.txt times=2  # left out of the first two lists
//   fault = slow_body after=4096 for=300      # the rest of the body 300 ms later
//
// In `extra` values "\t", "\r", "\n" and "\\" stand for TAB, CR, LF and a
// backslash; any other backslash stays as it is, and every other byte is
// taken as it is (0x81, which Windows-1252 has no character for, included).
// Fault lines are described at FaultRule.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvn_service {

enum class FaultKind {
    CloseBody,         // header and `after` body bytes, then close
    CloseHeader,       // `after` header bytes, then close
    StallBody,         // header and `after` body bytes, then silence
    StallHeader,       // `after` header bytes, then silence
    ProxyAuth,         // a 407 status instead of the reply
    Garbage,           // bytes that are no HTTP at all, then close
    ConnectionClose,   // the reply names "Connection: close"
    CorruptZip,        // the file goes out as a zip whose deflate data is damaged
    BadCrcZip,         // the file goes out as a zip whose CRC-32 is wrong
    BadContentLength,  // the Content-Length value is replaced by `value`
    NoFangIndex,       // "X-QVN-Fang: " carries only the plain size
    Refuse,            // no reply, and every port refuses connections for a while
    Bzip2Zip,          // the file goes out as a zip whose member claims bzip2 compression
    EncryptedZip,      // the file goes out as a zip whose member is flagged encrypted
    ZipDeclaredSize,   // the file goes out as a zip whose member declares `declaredSize`
    HideFile,          // the list leaves out the file named by `file`
    LongHeader,        // padding lines push the header block's end past `after` bytes
    SlowBody,          // header and `after` body bytes, a pause, then the rest
};

// "fault = <kind> [file=<name>] [word=<word>] [after=<bytes>] [times=<n>]",
// where the kinds bad_content_length and zip_declared_size carry their
// value: bad_content_length=-5, zip_declared_size=100 (a decimal size up to
// 4294967294, so that no zip64 record is needed), and refuse and slow_body
// take [for=<milliseconds>], how long the ports stay shut or the body
// pauses. long_header's `after` defaults to 5000, beyond the header limit
// of a client that allows 4 KiB, and goes up to 1 MiB.
// A rule applies to the first `times` requests of a service run that match
// it: the request word when `word` is given, the requested file (a
// DownLoad of that relative name, '\' or '/' between levels) when `file`
// is given. hide_file is the exception: its `file`, which it needs, is the
// one that the list leaves out, and its uses are counted per DKFL request
// (no other word is allowed). Values may be written in double quotes to
// hold blanks.
struct FaultRule {
    FaultKind kind = FaultKind::CloseBody;
    std::string value;               // the text of bad_content_length
    std::uint32_t declaredSize = 0;  // zip_declared_size only
    std::optional<std::string> file;
    std::optional<std::string> word;
    std::uint64_t after = 0;
    int times = 1;
    // How long refuse keeps the ports shut, or slow_body pauses.
    std::chrono::milliseconds duration{1000};
    // Names the rule across rereads of the file, for counting its uses.
    std::string identity;
};

struct KeySettings {
    bool encipher = false;
    bool zip = false;
    std::optional<std::int64_t> maxDownloads;  // none: unlimited
    bool connectionClose = false;
    // The key window of enciphered file replies; none: a random one each time.
    std::optional<int> keyIndex;
    std::map<std::string, std::int64_t> duplicates;  // by relative name, '/' between levels
    // Files that may or may not go out as zip archives whatever the key's
    // `zip` says, by relative name. Enciphering has no such choice: the
    // client takes the list's word for every file of the key.
    std::map<std::string, bool> zipFiles;
    std::vector<std::string> extraRecords;  // escapes already replaced
    // The code page the list gives the files' names in (the names on disk
    // are UTF-8); none: as they are on disk. A code page the system converts.
    std::optional<std::string> codePage;
    std::vector<FaultRule> faults;

    // Whether the file of relative name `relative` ('/' between levels)
    // may go out as a zip archive.
    bool ZipFile(const std::string& relative) const;
};

struct ParsedSettings {
    KeySettings settings;
    // One message per line that was not understood (the line is skipped).
    std::vector<std::string> problems;
};

ParsedSettings ParseKeySettings(std::string_view text);

// A relative name with '/' between levels, whichever separator it came with.
std::string NormalizeRelativeName(std::string_view name);

// The name of a fault kind as written in settings files.
std::string_view FaultKindName(FaultKind kind);

}  // namespace qvn_service
