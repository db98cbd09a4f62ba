#include "tools/service/responder.h"

#include <algorithm>
#include <memory>

#include "net/message_cipher.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/strings.h"
#include "tools/service/download_plan.h"
#include "tools/service/key_folder.h"
#include "tools/service/zip_body.h"

namespace qvn_service {

namespace {

constexpr std::string_view kSuccessful = "Successful";
constexpr std::string_view kIdBad = "IDBAD";
constexpr std::string_view kAlreadyComplete = "UGOTIT";
constexpr std::string_view kDownloadsExceeded = "maximum downloads exceeded";

std::string ConclusionHeader(std::string_view word) {
    return "X-QVN-CONCLUSION: " + std::string(word);
}

std::string PayloadFlagsHeader(bool enciphered) {
    return enciphered ? "X-QVN-CRUNCHYFROG: 1,0,0" : "X-QVN-CRUNCHYFROG: 0,0,0";
}

Reply ConclusionReply(std::string_view word) {
    Reply reply;
    reply.headers.push_back(ConclusionHeader(word));
    return reply;
}

// A reply with an empty body, so that any HTTP client can tell where it ends.
Reply StatusReply(std::string status) {
    Reply reply;
    reply.status = std::move(status);
    reply.body = ReplyBody{};
    return reply;
}

std::string RandomGarbage(std::mt19937& random) {
    std::uniform_int_distribution<int> length(64, 512);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(static_cast<std::size_t>(length(random)), '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(random));
    }
    // Never the start of a status line.
    if (bytes[0] == 'H') {
        bytes[0] = '\x7F';
    }
    return bytes;
}

bool IsTransport(FaultKind kind) {
    return kind == FaultKind::CloseBody || kind == FaultKind::CloseHeader ||
           kind == FaultKind::StallBody || kind == FaultKind::StallHeader ||
           kind == FaultKind::SlowBody;
}

// How a zip fault damages the archive; None without one.
ZipDamage DamageOf(const FaultRule* rule) {
    if (rule == nullptr) {
        return ZipDamage::None;
    }
    switch (rule->kind) {
        case FaultKind::CorruptZip:
            return ZipDamage::DeflateData;
        case FaultKind::BadCrcZip:
            return ZipDamage::Crc;
        case FaultKind::Bzip2Zip:
            return ZipDamage::Bzip2Method;
        case FaultKind::EncryptedZip:
            return ZipDamage::Encrypted;
        case FaultKind::ZipDeclaredSize:
            return ZipDamage::DeclaredSize;
        default:
            return ZipDamage::None;
    }
}

// The rules of one key that one request matches, taken as they apply.
class FaultPicker {
  public:
    FaultPicker(const std::vector<FaultRule>& rules, RunCounters& counters, std::string key,
                std::string_view word)
        : rules_(rules), counters_(counters), key_(std::move(key)), word_(word) {}

    void SetFile(const ServedFile* file) { file_ = file; }

    // The first matching rule of one of `kinds` with uses left; its use is
    // taken.
    const FaultRule* Take(std::initializer_list<FaultKind> kinds) {
        for (const FaultRule& rule : rules_) {
            if (std::find(kinds.begin(), kinds.end(), rule.kind) != kinds.end() && Matches(rule) &&
                counters_.TryUseFault(key_, rule.identity, rule.times)) {
                return &rule;
            }
        }
        return nullptr;
    }

    // Leaves out of a list's files each one that a hide_file rule with uses
    // left names, taking that rule's use. A file that is not there leaves
    // the rule's uses alone.
    void HideFiles(std::vector<ServedFile>& files) {
        for (const FaultRule& rule : rules_) {
            if (rule.kind != FaultKind::HideFile || !rule.file) {
                continue;
            }
            const auto named = std::find_if(
                files.begin(), files.end(),
                [&](const ServedFile& candidate) { return candidate.relative == *rule.file; });
            if (named != files.end() && counters_.TryUseFault(key_, rule.identity, rule.times)) {
                files.erase(named);
            }
        }
    }

    const FaultRule* TakeTransport() {
        for (const FaultRule& rule : rules_) {
            if (IsTransport(rule.kind) && Matches(rule) &&
                counters_.TryUseFault(key_, rule.identity, rule.times)) {
                return &rule;
            }
        }
        return nullptr;
    }

  private:
    bool Matches(const FaultRule& rule) const {
        if (rule.word && *rule.word != word_) {
            return false;
        }
        return !rule.file || (file_ != nullptr && *rule.file == file_->relative);
    }

    const std::vector<FaultRule>& rules_;
    RunCounters& counters_;
    std::string key_;
    std::string_view word_;
    const ServedFile* file_ = nullptr;
};

}  // namespace

bool RunCounters::TryUseFault(const std::string& key, const std::string& identity, int times) {
    std::lock_guard<std::mutex> lock(mutex_);
    int& uses = faultUses_[key + '\n' + identity];
    if (uses >= times) {
        return false;
    }
    ++uses;
    return true;
}

bool RunCounters::DownloadAllowed(const std::string& key, std::optional<std::int64_t> limit,
                                  bool take) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t& count = downloads_[key];
    if (limit && count >= *limit) {
        return false;
    }
    if (take) {
        ++count;
    }
    return true;
}

Responder::Responder(std::string root, const net::KeyTable& table, RunCounters& counters,
                     platform::Clock& clock, ProblemSink problems, ServiceCache* cache)
    : root_(std::move(root)),
      table_(table),
      counters_(counters),
      clock_(clock),
      problems_(std::move(problems)),
      cache_(cache) {}

Response Responder::Respond(const Request& request, const std::optional<std::string>& key,
                            std::mt19937& random) const {
    if (request.method != "GET") {
        Response response;
        response.reply = StatusReply("405 Method Not Allowed");
        response.reply.close = true;
        return response;
    }
    const Target target = ClassifyTarget(request.target);
    switch (target.kind) {
        case Target::Kind::Protocol:
            return RespondToProtocol(request, target.word, key, random);
        case Target::Kind::File: {
            Response response;
            response.reply = ReplyWithFile(target);
            return response;
        }
        case Target::Kind::Unknown:
            break;
    }
    Response response;
    response.reply = StatusReply("404 Not Found");
    return response;
}

Reply Responder::ReplyWithFile(const Target& target) const {
    const auto folder = KeyFolder(root_, target.key);
    std::string relative = target.relative;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    const auto path = folder ? platform::JoinUnder(*folder, relative) : std::nullopt;
    if (!path) {
        return StatusReply("404 Not Found");
    }
    auto info = platform::GetFileInfo(*path);
    if (!info || info->isDirectory) {
        return StatusReply("404 Not Found");
    }
    Reply reply;
    reply.headers.push_back("Content-Type: application/octet-stream");
    ReplyBody body;
    body.file = FileRange{*path, 0, info->size};
    reply.body = std::move(body);
    return reply;
}

Response Responder::RespondToProtocol(const Request& request, const std::string& word,
                                      const std::optional<std::string>& key,
                                      std::mt19937& random) const {
    Response response;
    const std::optional<std::string> folder = key ? KeyFolder(root_, *key) : std::nullopt;
    if (!folder) {
        response.reply = word == "VDLK" || word == "DKFL" || word == "DLCK" || word == "DownLoad"
                             ? ConclusionReply(kIdBad)
                             : StatusReply("400 Bad Request");
        return response;
    }
    ParsedSettings parsed = LoadKeySettings(root_, *key);
    for (const std::string& problem : parsed.problems) {
        if (problems_) {
            problems_(*key, problem);
        }
    }
    const KeySettings& settings = parsed.settings;
    FaultPicker faults(settings.faults, counters_, *key, word);

    std::vector<ServedFile> files;
    std::optional<ServedFile> requested;
    if (word == "DKFL") {
        files = ListKeyFiles(*folder);
    }
    if (word == "DownLoad") {
        // Only the requested file's size and date matter here.
        const auto names = cache_ != nullptr ? cache_->FileNames(*folder)
                                             : std::make_shared<const std::vector<ServedFile>>(
                                                   ListKeyFiles(*folder, /*attributes=*/false));
        const auto lupin = request.Header("X-QVN-LUPIN");
        const auto id = lupin ? FileIdFromLupin(*lupin) : std::nullopt;
        if (const ServedFile* found = id ? FindFileById(*names, *id) : nullptr) {
            requested = *found;
            if (!ReadAttributes(*requested)) {
                requested.reset();
            }
        }
    }
    const ServedFile* file = requested ? &*requested : nullptr;
    faults.SetFile(file);

    if (const FaultRule* rule =
            faults.Take({FaultKind::ProxyAuth, FaultKind::Garbage, FaultKind::Refuse})) {
        if (rule->kind == FaultKind::Refuse) {
            response.refuseFor = rule->duration;
            return response;
        }
        if (rule->kind == FaultKind::Garbage) {
            response.raw = RandomGarbage(random);
            return response;
        }
        response.reply = StatusReply("407 Proxy Authentication Required");
        response.reply.headers.push_back("Proxy-Authenticate: Basic realm=\"trevasto\"");
        response.reply.close = settings.connectionClose;
        return response;
    }

    Reply& reply = response.reply;
    if (word == "VDLK" || word == "DLCK") {
        reply = ConclusionReply(kSuccessful);
    } else if (word == "DKFL") {
        reply = ConclusionReply(kSuccessful);
        reply.headers.push_back(PayloadFlagsHeader(settings.encipher));
        // Identifiers were given over all the files, so a hidden file keeps
        // its own once it shows again.
        faults.HideFiles(files);
        const std::string list = BuildListText(*key, files, settings);
        if (!list.empty()) {
            ReplyBody body;
            if (settings.encipher) {
                std::vector<std::uint8_t> plain(list.begin(), list.end());
                plain.push_back(0);
                std::vector<std::uint8_t> enciphered(net::EncipheredCapacity(plain.size()));
                const std::int64_t seed = std::uniform_int_distribution<int>(0, 1023)(random);
                const std::size_t length =
                    net::EncipherWithIndex(table_, plain, seed, clock_.NowSeconds(), enciphered);
                body.memory.assign(enciphered.begin(),
                                   enciphered.begin() + static_cast<std::ptrdiff_t>(length));
            } else {
                body.memory = list;
            }
            reply.body = std::move(body);
        }
    } else if (word == "DownLoad") {
        if (!counters_.DownloadAllowed(*key, settings.maxDownloads, false)) {
            reply = ConclusionReply(kDownloadsExceeded);
        } else if (file == nullptr) {
            reply = ConclusionReply(kIdBad);
        } else {
            const auto restart = request.Header("X-QVN-RESTART2");
            const auto copy = restart ? ParseRestartDescription(*restart) : std::nullopt;
            const DownloadPlan plan =
                cache_ == nullptr
                    ? PlanDownload(file->path, file->size, copy, settings.encipher)
                    : PlanDownload(file->path, file->size, copy, settings.encipher,
                                   [this](const std::string& path, std::uint64_t length) {
                                       return cache_->DigestOfStart(path, length);
                                   });
            if (plan.kind == DownloadPlan::Kind::AlreadyComplete) {
                reply = ConclusionReply(kAlreadyComplete);
                reply.headers.push_back(PayloadFlagsHeader(settings.encipher));
                reply.headers.push_back(platform::StrPrintf(
                    "X-QVN-Fang: %llu,0,0", static_cast<unsigned long long>(file->size)));
            } else if (!counters_.DownloadAllowed(*key, settings.maxDownloads, true)) {
                reply = ConclusionReply(kDownloadsExceeded);
            } else {
                reply = ConclusionReply(kSuccessful);
                reply.headers.push_back(PayloadFlagsHeader(settings.encipher));
                ReplyBody body;
                std::uint64_t plainSize = file->size;
                bool zipped = false;
                if (plan.kind == DownloadPlan::Kind::Continuation) {
                    reply.headers.push_back("X-QVN-RESTART: 1");
                    body.file = FileRange{file->path, plan.offset, file->size - plan.offset};
                } else {
                    const FaultRule* damage = faults.Take(
                        {FaultKind::CorruptZip, FaultKind::BadCrcZip, FaultKind::Bzip2Zip,
                         FaultKind::EncryptedZip, FaultKind::ZipDeclaredSize});
                    const auto fang = request.Header("X-QVN-FANG");
                    if ((damage != nullptr ||
                         (settings.ZipFile(file->relative) && fang && AcceptsZip(*fang))) &&
                        file->size <= kZipMemberLimit) {
                        const ZipDamage kind = DamageOf(damage);
                        auto makeArchive = [&]() -> std::optional<std::string> {
                            auto data = platform::ReadFileStart(file->path, file->size);
                            return data ? ZipSingleMember(
                                              platform::FileNamePart(file->relative), *data, kind,
                                              damage != nullptr ? damage->declaredSize : 0)
                                        : std::nullopt;
                        };
                        std::optional<FileRange> kept;
                        if (cache_ != nullptr && kind == ZipDamage::None) {
                            kept = cache_->Archive(file->path, makeArchive);
                        }
                        if (kept) {
                            plainSize = kept->length;
                            body.file = std::move(*kept);
                            zipped = true;
                        } else if (auto archive = makeArchive()) {
                            plainSize = archive->size();
                            body.memory = std::move(*archive);
                            zipped = true;
                        }
                    }
                    if (!zipped) {
                        body.file = FileRange{file->path, 0, file->size};
                    }
                }
                int keyIndex = 0;
                if (settings.encipher) {
                    keyIndex = settings.keyIndex.value_or(
                        std::uniform_int_distribution<int>(0, net::kStreamIndexCount - 1)(random));
                    body.cipherKey = table_.WindowAt(static_cast<std::size_t>(keyIndex));
                    if (cache_ != nullptr && body.file) {
                        if (auto kept = cache_->Enciphered(*body.file, *body.cipherKey)) {
                            body.file = std::move(*kept);
                            body.cipherKey.reset();
                        }
                    }
                }
                if (faults.Take({FaultKind::NoFangIndex}) != nullptr) {
                    reply.headers.push_back(platform::StrPrintf(
                        "X-QVN-Fang: %llu", static_cast<unsigned long long>(plainSize)));
                } else {
                    reply.headers.push_back(platform::StrPrintf(
                        "X-QVN-Fang: %llu,%d,%d", static_cast<unsigned long long>(plainSize),
                        keyIndex, zipped ? 1 : 0));
                }
                reply.body = std::move(body);
            }
        }
    } else {
        reply = StatusReply("400 Bad Request");
        reply.headers.push_back(ConclusionHeader("unknown request"));
    }

    if (settings.connectionClose || faults.Take({FaultKind::ConnectionClose}) != nullptr) {
        reply.close = true;
    }
    if (const FaultRule* rule = faults.Take({FaultKind::BadContentLength})) {
        reply.contentLengthText = rule->value;
        // The client cannot tell where such a reply ends; neither can the
        // next request on this connection.
        response.endConnection = true;
    }
    if (const FaultRule* rule = faults.Take({FaultKind::LongHeader})) {
        reply.emptyLineAt = rule->after;
    }
    if (const FaultRule* rule = faults.TakeTransport()) {
        response.transport = TransportFault{rule->kind, rule->after, rule->duration};
    }
    return response;
}

}  // namespace qvn_service
