#include "net/server_list.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace net {
namespace {

// "b2.example.com:80, b1.example.com:80: connection refused".
std::string FailureText(const std::vector<std::string>& servers,
                        const ServerConnection& connection) {
    std::string text;
    for (const std::string& server : servers) {
        text += (text.empty() ? "" : ", ") + server;
    }
    std::string reason = connection.errorText() == "RACommLookup failed"
                             ? std::string("the name could not be looked up")
                             : platform::SystemMessage(connection.lastError());
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return text + ": " + reason;
}

}  // namespace

ServerEntry::ServerEntry(std::string_view host, std::string_view portText, HostResolver& resolver,
                         Timeouts timeouts, StreamConnector& connector)
    : host(platform::Cut(host, ServerConnection::kMaxHostLength)),
      portText(platform::Cut(portText, kMaxPortTextLength)),
      connection(host, portText, resolver, timeouts, connector) {}

ServerLink::ServerLink(LogSink& log, platform::Clock& clock, Timeouts timeouts,
                       HostResolver& resolver, SocketStarter startSockets,
                       StreamConnector& connector)
    : log_(log), clock_(clock), timeouts_(timeouts), resolver_(resolver), connector_(connector) {
    commInitFailed_ = !startSockets();
}

ServerEntry& ServerLink::AddServer(std::string_view host, std::string_view portText) {
    // The entry is complete, connection object included, before it joins the
    // list, so selection never meets an entry without one.
    auto entry = std::make_unique<ServerEntry>(host, portText, resolver_, timeouts_, connector_);
    ServerEntry& added = *entry;
    const std::lock_guard<std::mutex> lock(listLock_);
    serverList_.insert(serverList_.begin(), std::move(entry));
    return added;
}

void ServerLink::SelectNextServer() {
    if (serverList_.empty()) {
        currentServer_ = nullptr;
        connection_ = nullptr;
        return;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < serverList_.size(); ++i) {
        if (serverList_[i].get() == currentServer_) {
            next = i + 1 < serverList_.size() ? i + 1 : 0;
            break;
        }
    }
    currentServer_ = serverList_[next].get();
    connection_ = &currentServer_->connection;
    if (!currentServer_->failed) {
        return;
    }
    // The natural choice failed last time: take the first server that did
    // not, letting a failed one back in once it has been passed over often
    // enough. With every server failed, the natural choice stays.
    for (auto& entry : serverList_) {
        const int before = entry->skipCount;
        entry->skipCount = before + 1;
        if (before > kSkipLimit) {
            entry->failed = false;
            entry->skipCount = 0;
        }
        if (!entry->failed) {
            currentServer_ = entry.get();
            connection_ = &entry->connection;
            return;
        }
    }
}

void ServerLink::RetargetCurrent() {
    if (currentServer_ == nullptr) {
        connection_ = nullptr;
        return;
    }
    connection_ =
        &currentServer_->connection.Retarget(currentServer_->host, currentServer_->portText);
}

bool ServerLink::Connect() {
    if (commInitFailed_) {
        return false;
    }
    if (connectionOpen()) {
        return true;
    }
    SelectNextServer();
    RetargetCurrent();
    if (connection_ == nullptr) {
        Logf(log_, LineKind::Error, " Err Communications init failed\n");
        connectFailure_ = "no server is set";
        return false;
    }
    std::vector<std::string> tried;
    for (int counter = kFirstAttemptCounter;; --counter) {
        if (interrupted_.load()) {
            connectFailure_ = "the download was stopped";
            return false;
        }
        if (connection_->Open()) {
            break;
        }
        const std::string reason = connection_->DescribeError();
        Logf(log_, LineKind::Error, " Err Communications connect to Quorvane failed %d %s\n",
             counter, reason.c_str());
        const std::string server = currentServer_->host + ":" + currentServer_->portText;
        if (std::find(tried.begin(), tried.end(), server) == tried.end()) {
            tried.push_back(server);
        }
        currentServer_->failed = true;
        if (counter == kLastAttempt) {
            commFailed_ = true;
            connectFailure_ = FailureText(tried, *connection_);
            return false;
        }
        SelectNextServer();
        RetargetCurrent();
        clock_.SleepFor(timeouts_.connectPause);
    }
    currentServer_->failed = false;
    connectionFlags_ |= kConnectionOpen;
    return true;
}

void ServerLink::Interrupt() {
    interrupted_.store(true);
    const std::lock_guard<std::mutex> lock(listLock_);
    for (auto& entry : serverList_) {
        entry->connection.Interrupt();
    }
}

bool ServerLink::Disconnect() {
    if (connection_ == nullptr) {
        return false;
    }
    connection_->Close();
    connection_ = nullptr;
    connectionFlags_ &= ~(kConnectionOpen | kCloseAfterReply);
    return true;
}

bool ServerLink::SendRequest(const void* data, std::size_t length) {
    if (length == 0) {
        return true;
    }
    if (connection_ == nullptr) {
        return false;
    }
    return connection_->SendInPieces(data, length) != 0;
}

std::ptrdiff_t ServerLink::Receive(void* buffer, std::size_t capacity) {
    return connection_ == nullptr ? -1 : connection_->Receive(buffer, capacity);
}

void ServerLink::UseShortTimeout() {
    if (connection_ != nullptr) {
        connection_->UseShortTimeout();
    }
}

void ServerLink::UseNormalTimeout() {
    if (connection_ != nullptr) {
        connection_->UseNormalTimeout();
    }
}

void ServerLink::UseLongTimeout() {
    if (connection_ != nullptr) {
        connection_->UseLongTimeout();
    }
}

std::string ServerLink::currentHost() const {
    return currentServer_ == nullptr ? std::string() : currentServer_->host;
}

void ServerLink::MarkCurrentServerFailed() {
    if (currentServer_ != nullptr) {
        currentServer_->failed = true;
    }
}

}  // namespace net
