#include "tools/service/request_log.h"

#include "platform/strings.h"

namespace qvn_service {

RequestLog::~RequestLog() = default;

platform::Status RequestLog::OpenFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wbe");
    if (file == nullptr) {
        return platform::LastError();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    file_.reset(file);
    return platform::Status::Ok();
}

std::uint64_t RequestLog::Add(std::uint16_t port, const std::optional<std::string>& key,
                              const std::string& block) {
    std::lock_guard<std::mutex> lock(mutex_);
    LoggedRequest entry{port, entries_.size() + 1, key, block};
    if (file_) {
        std::string text = platform::StrPrintf("=== %u %llu\n", static_cast<unsigned>(port),
                                               static_cast<unsigned long long>(entry.sequence));
        if (key) {
            // A key is whatever the token held; keep each entry's lines apart.
            std::string shown = *key;
            for (char& c : shown) {
                c = c == '\r' || c == '\n' ? '?' : c;
            }
            text += "key " + shown + "\n";
        }
        text += block;
        std::fwrite(text.data(), 1, text.size(), file_.get());
        std::fflush(file_.get());
    }
    entries_.push_back(std::move(entry));
    added_.notify_all();
    return entries_.back().sequence;
}

std::vector<LoggedRequest> RequestLog::Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

bool RequestLog::WaitFor(const std::function<bool(const LoggedRequest&)>& match,
                         std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    std::size_t checked = 0;
    return added_.wait_for(lock, timeout, [&] {
        for (; checked < entries_.size(); ++checked) {
            if (match(entries_[checked])) {
                return true;
            }
        }
        return false;
    });
}

}  // namespace qvn_service
