#include "engine/key_file_list.h"

#include <limits>

#include "platform/strings.h"

namespace engine {
namespace {

// Splits text into TAB-separated fields the way the service writes them.
class FieldReader {
  public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    bool Next(std::string_view* field) {
        while (position_ < text_.size() && text_[position_] == '\t') {
            ++position_;
        }
        if (position_ >= text_.size()) {
            return false;
        }
        const std::size_t end = text_.find('\t', position_);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        *field = text_.substr(position_, stop - position_);
        position_ = stop;
        return true;
    }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
};

std::int32_t ReadInt32(std::string_view field) {
    const long long value = platform::ParseDecimal(field);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

const char* EscapeFor(char c, bool keepBackslash) {
    switch (c) {
        case '"':
            return "%22";
        case '*':
            return "%2a";
        case '/':
            return "%2f";
        case ':':
            return "%3a";
        case '<':
            return "%3c";
        case '>':
            return "%3e";
        case '?':
            return "%3f";
        case '|':
            return "%7c";
        case '\\':
            return keepBackslash ? nullptr : "%5c";
        case '\r':
        case '\n':
            return "";
        default:
            return nullptr;
    }
}

}  // namespace

void EscapeFileName(std::string& name, bool keepBackslash) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (const char* escape = EscapeFor(c, keepBackslash)) {
            out += escape;
        } else {
            out.push_back(c);
        }
    }
    name = std::move(out);
}

std::string EscapeBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            out += platform::StrPrintf("\\x%02x", byte);
        }
    }
    return out;
}

void DropTopFolder(std::string& relativeName) {
    const std::size_t slash = relativeName.find('\\');
    if (slash != std::string::npos) {
        relativeName.erase(0, slash + 1);
    }
}

KeyFileList ParseKeyFileList(std::string_view text, bool keepBackslash) {
    text = text.substr(0, text.find('\0'));
    KeyFileList list;
    FieldReader fields(text);
    std::string_view field;
    while (fields.Next(&field) && field.front() != '\r') {
        KeyFileEntry entry;
        entry.fileId = std::string(field);
        if (fields.Next(&field)) {
            entry.relativeName = std::string(field);
            EscapeFileName(entry.relativeName, keepBackslash);
            if (fields.Next(&field)) {
                entry.numberA = ReadInt32(field);
                if (fields.Next(&field)) {
                    entry.serverDate = std::string(field);
                    if (fields.Next(&field)) {
                        entry.duplicateCount = ReadInt32(field);
                        if (fields.Next(&field)) {
                            entry.numberB = ReadInt32(field);
                        }
                    }
                }
            }
        }
        entry.overWidth = entry.fileId.size() > kFileIdLimit ||
                          entry.relativeName.size() > kRelativeNameLimit ||
                          entry.serverDate.size() > kServerDateLimit;
        list.push_back(std::move(entry));
    }
    return list;
}

}  // namespace engine
