#pragma once
// The list of files a download key designates, parsed from the service's
// list text: records of six TAB-terminated fields.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Widths the service stays within; an entry beyond them is refused rather
// than cut, so that two listed files never end up with one local name.
inline constexpr std::size_t kRelativeNameLimit = 511;
inline constexpr std::size_t kServerDateLimit = 31;
inline constexpr std::size_t kFileIdLimit = 15;

struct KeyFileEntry {
    std::string fileId;
    // The name relative to the key's folder, escaped; its first level is the
    // key's top folder until the operations drop it. In the service's code
    // page until LocalPathFor makes it the local name: UTF-8, or, when a
    // byte has no character, the bytes as EscapeBytes shows them.
    std::string relativeName;
    std::int32_t numberA = 0;  // the third field, kept as the list gives it; unread
    // 14 hexadecimal digits, or a single blank when the service knows no date.
    std::string serverDate;
    std::int32_t duplicateCount = 0;
    std::int32_t numberB = 0;  // the sixth field, kept as the list gives it; unread
    // A field is wider than the client can hold: the entry is never fetched.
    bool overWidth = false;
};

using KeyFileList = std::vector<KeyFileEntry>;

// Parses list text (it ends at its first NUL byte). Runs of TABs count as
// one separator and leading TABs are skipped; the list ends when no field is
// left or when a record's first field begins with CR. A record cut short
// keeps empty texts and zeros for its missing fields.
KeyFileList ParseKeyFileList(std::string_view text, bool keepBackslash);

// Makes a listed name safe as a file name: '"' '*' '/' ':' '<' '>' '?' '|'
// (and '\' unless kept) become %xx escapes in lower-case hex; CR and LF are
// removed.
void EscapeFileName(std::string& name, bool keepBackslash);

// The text with every byte outside printable ASCII written as \xNN (lower
// case): a name that has no characters, fit for a line or a log.
std::string EscapeBytes(std::string_view text);

// Drops the key's top folder: the text after the first '\', when there is one.
void DropTopFolder(std::string& relativeName);

}  // namespace engine
