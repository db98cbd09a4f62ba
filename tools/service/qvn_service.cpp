#include "tools/service/qvn_service.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/file.h"
#include "platform/strings.h"

namespace qvn_service {

namespace {

// How often the accept loops look at the stop flag.
constexpr std::chrono::milliseconds kAcceptSlice{50};
// How long a client that is turned away may take to take its 503.
constexpr std::chrono::milliseconds kRefusalSendTimeout{200};
// A stalled connection checks on its client this often; Stop() wakes it
// at once in any case.
constexpr std::chrono::milliseconds kStallSlice{60'000};

constexpr std::size_t kReceiveChunk = 4096;

// How long, and how much, a refused client's remaining bytes are taken in
// before its connection is closed.
constexpr std::chrono::milliseconds kDrainTime{1000};
constexpr std::uint64_t kDrainLimit = 1 << 20;

std::string RefusalText(std::string_view status) {
    return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

}  // namespace

struct QvnService::Connection {
    platform::TcpSocket socket;
    std::uint16_t port = 0;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::string pending;  // received bytes not yet taken as a request
    std::mt19937 random{std::random_device{}()};
};

QvnService::QvnService(ServiceOptions options)
    : options_(std::move(options)),
      cache_(options_.cacheFolder.empty()
                 ? nullptr
                 : std::make_unique<ServiceCache>(options_.cacheFolder, platform::SystemClock())),
      responder_(
          options_.root, options_.table, counters_, platform::SystemClock(),
          [this](const std::string& key, const std::string& problem) {
              ReportProblem(key, problem);
          },
          cache_.get()) {}

ServiceStart QvnService::Start(ServiceOptions options) {
    platform::StartupSockets();
    ServiceStart start;
    auto root = platform::GetFileInfo(options.root);
    if (options.root.empty() || !root || !root->isDirectory) {
        start.error = "the root \"" + options.root + "\" is not a folder";
        return start;
    }
    if (!options.cacheFolder.empty()) {
        auto cache = platform::GetFileInfo(options.cacheFolder);
        if (!cache || !cache->isDirectory) {
            start.error = "the cache \"" + options.cacheFolder + "\" is not a folder";
            return start;
        }
    }
    if (options.ports.empty()) {
        options.ports.push_back(0);
    }
    if (options.maxConnections == 0) {
        options.maxConnections = 1;
    }
    std::unique_ptr<QvnService> service(new QvnService(std::move(options)));
    if (!service->options_.requestLogPath.empty()) {
        const auto opened = service->log_.OpenFile(service->options_.requestLogPath);
        if (!opened) {
            start.error = "cannot create the request log \"" + service->options_.requestLogPath +
                          "\": " + opened.error().Message();
            return start;
        }
    }
    for (const std::uint16_t port : service->options_.ports) {
        auto listener = platform::TcpListener::ListenLoopback(port);
        if (!listener) {
            start.error = platform::StrPrintf("cannot listen on 127.0.0.1:%u: ",
                                              static_cast<unsigned>(port)) +
                          listener.error().Message();
            return start;
        }
        auto slot = std::make_unique<Port>();
        slot->number = listener->Port();
        slot->listener = std::move(*listener);
        service->ports_.push_back(std::move(slot));
    }
    service->portsListening_ = service->ports_.size();
    for (const auto& slot : service->ports_) {
        service->acceptThreads_.emplace_back(&QvnService::AcceptLoop, service.get(), slot.get());
    }
    start.service = std::move(service);
    return start;
}

QvnService::~QvnService() {
    Stop();
}

std::vector<std::uint16_t> QvnService::Ports() const {
    std::vector<std::uint16_t> ports;
    for (const auto& slot : ports_) {
        ports.push_back(slot->number);
    }
    return ports;
}

std::vector<std::string> QvnService::Requests() const {
    std::vector<std::string> blocks;
    for (LoggedRequest& entry : log_.Entries()) {
        blocks.push_back(std::move(entry.block));
    }
    return blocks;
}

void QvnService::Stop() {
    {
        std::lock_guard<std::mutex> lock(refusalMutex_);
        stopping_ = true;
    }
    refusalChanged_.notify_all();
    for (std::thread& thread : acceptThreads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    std::vector<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        connections.swap(connections_);
        // Wakes every wait, receive and send under way on these sockets.
        for (const auto& connection : connections) {
            connection->socket.Shutdown();
        }
    }
    for (const auto& connection : connections) {
        if (connection->thread.joinable()) {
            connection->thread.join();
        }
    }
    for (const auto& slot : ports_) {
        slot->listener.Close();
    }
}

void QvnService::RefuseConnectionsFor(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(refusalMutex_);
    refuseUntil_ = std::max(refuseUntil_, std::chrono::steady_clock::now() + duration);
    refusalChanged_.notify_all();
    // Back once every port has stopped listening (each accept loop notices
    // within one slice), so that the caller's next step meets closed ports.
    refusalChanged_.wait_until(lock, refuseUntil_,
                               [this] { return portsListening_ == 0 || stopping_; });
}

bool QvnService::WaitUntilListening(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(refusalMutex_);
    refusalChanged_.wait_for(lock, timeout, [this] {
        return stopping_ || (portsListening_ == ports_.size() &&
                             std::chrono::steady_clock::now() >= refuseUntil_);
    });
    return !stopping_ && portsListening_ == ports_.size() &&
           std::chrono::steady_clock::now() >= refuseUntil_;
}

bool QvnService::RefusalUnderWay() {
    std::lock_guard<std::mutex> lock(refusalMutex_);
    return std::chrono::steady_clock::now() < refuseUntil_;
}

bool QvnService::RefuseOnPort(Port& port) {
    // Connections waiting in the backlog are reset with the listener.
    port.listener.Close();
    std::unique_lock<std::mutex> lock(refusalMutex_);
    --portsListening_;
    refusalChanged_.notify_all();
    for (;;) {
        // A refusal may be lengthened while it lasts.
        while (!stopping_ && std::chrono::steady_clock::now() < refuseUntil_) {
            refusalChanged_.wait_until(lock, refuseUntil_);
        }
        if (stopping_) {
            return false;
        }
        // SO_REUSEADDR lets the same port be taken again at once; should
        // another program have taken it meanwhile, keep trying.
        auto listener = platform::TcpListener::ListenLoopback(port.number);
        if (listener) {
            port.listener = std::move(*listener);
            ++portsListening_;
            refusalChanged_.notify_all();
            return true;
        }
        refusalChanged_.wait_for(lock, kAcceptSlice);
    }
}

void QvnService::AcceptLoop(Port* port) {
    platform::TcpListener* listener = &port->listener;
    while (!stopping_) {
        if (RefusalUnderWay()) {
            if (!RefuseOnPort(*port)) {
                return;
            }
            continue;
        }
        const platform::WaitResult ready = listener->WaitAcceptable(kAcceptSlice);
        ReapFinished();
        if (ready == platform::WaitResult::Failed) {
            return;
        }
        if (ready != platform::WaitResult::Ready) {
            continue;
        }
        auto accepted = listener->Accept();
        if (!accepted) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(connectionsMutex_);
            if (stopping_) {
                return;
            }
            // Finished connections were reaped above, so all of these are busy.
            if (connections_.size() < options_.maxConnections) {
                auto connection = std::make_unique<Connection>();
                connection->socket = std::move(*accepted);
                connection->port = port->number;
                connection->socket.SetSendTimeout(options_.receiveTimeout);
                connection->thread = std::thread(&QvnService::Serve, this, connection.get());
                connections_.push_back(std::move(connection));
                continue;
            }
        }
        const std::string refusal = RefusalText("503 Service Unavailable");
        accepted->SetSendTimeout(kRefusalSendTimeout);
        accepted->SendAll(refusal.data(), refusal.size());
    }
}

void QvnService::ReapFinished() {
    std::vector<std::unique_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        auto split = std::stable_partition(
            connections_.begin(), connections_.end(),
            [](const std::unique_ptr<Connection>& connection) { return !connection->finished; });
        std::move(split, connections_.end(), std::back_inserter(done));
        connections_.erase(split, connections_.end());
    }
    for (const auto& connection : done) {
        connection->thread.join();
    }
}

void QvnService::Serve(Connection* connection) {
    std::string block;
    for (;;) {
        const ReadOutcome outcome = ReadRequest(*connection, block);
        if (outcome == ReadOutcome::TooLarge) {
            Refuse(*connection, "431 Request Header Fields Too Large");
            break;
        }
        if (outcome != ReadOutcome::Complete || !Answer(*connection, block)) {
            break;
        }
    }
    // The socket stays open (only shut down) until the connection is reaped,
    // so that Stop() never reaches a descriptor that was closed and reused.
    connection->socket.Shutdown();
    connection->finished = true;
}

bool QvnService::ReceiveMore(Connection& connection,
                             std::chrono::steady_clock::time_point deadline) {
    if (stopping_) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
        return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                      std::chrono::milliseconds(1);
    if (connection.socket.WaitReadable(left, nullptr) != platform::WaitResult::Ready) {
        return false;
    }
    std::array<char, kReceiveChunk> buffer;
    auto received = connection.socket.Receive(buffer.data(), buffer.size());
    if (!received || *received == 0) {
        return false;
    }
    connection.pending.append(buffer.data(), *received);
    return true;
}

QvnService::ReadOutcome QvnService::ReadRequest(Connection& connection, std::string& block) {
    const auto deadline = std::chrono::steady_clock::now() + options_.receiveTimeout;
    for (;;) {
        if (const auto end = FindHeaderEnd(connection.pending)) {
            if (*end > kMaxRequestHeader) {
                return ReadOutcome::TooLarge;
            }
            block = connection.pending.substr(0, *end);
            connection.pending.erase(0, *end);
            return ReadOutcome::Complete;
        }
        if (connection.pending.size() > kMaxRequestHeader) {
            return ReadOutcome::TooLarge;
        }
        if (!ReceiveMore(connection, deadline)) {
            return ReadOutcome::Ended;
        }
    }
}

bool QvnService::DiscardBody(Connection& connection, std::uint64_t length) {
    const auto deadline = std::chrono::steady_clock::now() + options_.receiveTimeout;
    while (connection.pending.size() < length) {
        if (!ReceiveMore(connection, deadline)) {
            return false;
        }
    }
    connection.pending.erase(0, static_cast<std::size_t>(length));
    return true;
}

bool QvnService::Answer(Connection& connection, const std::string& block) {
    const std::optional<Request> request = ParseRequest(block);
    std::optional<std::string> key;
    if (request) {
        if (const auto token = request->Header("X-QVN-RATTART3")) {
            key = KeyFromToken(options_.table, *token);
        }
    }
    log_.Add(connection.port, key, block);

    if (!request) {
        Refuse(connection, "400 Bad Request");
        return false;
    }
    if (const auto lengthText = request->Header("Content-Length")) {
        const auto length = platform::ParseWholeDecimal(*lengthText);
        if (!length || *length > kMaxRequestBody) {
            Refuse(connection, length ? "413 Content Too Large" : "400 Bad Request");
            return false;
        }
        if (!DiscardBody(connection, *length)) {
            return false;
        }
    }

    Response response = responder_.Respond(*request, key, connection.random);
    if (response.refuseFor) {
        // The ports are shut before this connection ends, so the client's
        // next attempt is refused.
        RefuseConnectionsFor(*response.refuseFor);
        return false;
    }
    if (request->WantsClose()) {
        response.reply.close = true;
    }
    return SendResponse(connection, response) && !response.reply.close && !response.endConnection;
}

bool QvnService::SendResponse(Connection& connection, const Response& response) {
    platform::TcpSocket& socket = connection.socket;
    if (response.raw) {
        socket.SendAll(response.raw->data(), response.raw->size());
        return false;
    }
    const std::optional<TransportFault>& fault = response.transport;
    auto endByFault = [&]() {
        if (fault->kind == FaultKind::StallHeader || fault->kind == FaultKind::StallBody) {
            Stall(connection);
        }
        return false;
    };

    const std::string header = response.reply.HeaderText();
    if (fault && (fault->kind == FaultKind::CloseHeader || fault->kind == FaultKind::StallHeader)) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(fault->after, header.size()));
        if (!socket.SendAll(header.data(), count)) {
            return false;
        }
        return endByFault();
    }
    if (!socket.SendAll(header.data(), header.size())) {
        return false;
    }
    const bool bodyFault =
        fault && (fault->kind == FaultKind::CloseBody || fault->kind == FaultKind::StallBody);
    if (!response.reply.body) {
        return bodyFault ? endByFault() : true;
    }
    const std::uint64_t allowance = bodyFault ? fault->after : UINT64_MAX;
    // A slow body holds still once, when this many of its bytes are out and
    // more are to come.
    const std::uint64_t pauseAt =
        fault && fault->kind == FaultKind::SlowBody ? fault->after : UINT64_MAX;
    std::uint64_t sent = 0;
    // Sends `count` more body bytes through `send(done, length)`, which sends
    // `length` of them from the `done`th on.
    auto sendPaced = [&](std::uint64_t count, const auto& send) {
        for (std::uint64_t done = 0; done < count;) {
            if (sent == pauseAt && !PauseUnlessStopping(fault->pause)) {
                return false;
            }
            const std::uint64_t length =
                sent < pauseAt ? std::min(count - done, pauseAt - sent) : count - done;
            if (!send(done, length)) {
                return false;
            }
            done += length;
            sent += length;
        }
        return true;
    };

    const ReplyBody& body = *response.reply.body;
    if (body.file && !body.cipherKey) {
        // Bytes that go out as they are leave straight from the file.
        const std::uint64_t count = std::min(allowance, body.file->length);
        if (count > 0) {
            auto file = platform::File::Open(body.file->path, platform::FileAccess::ReadShared);
            // A file that ended before its announced length is a failed
            // body; a failed send ends the connection at once.
            bool fileFailed = !file;
            const bool complete =
                file && sendPaced(count, [&](std::uint64_t done, std::uint64_t length) {
                    const platform::Status status =
                        socket.SendFile(*file, body.file->offset + done, length);
                    fileFailed = !status && status.error().code == EIO;
                    return status.ok();
                });
            if (!complete) {
                return bodyFault && fileFailed ? endByFault() : false;
            }
        }
        return bodyFault ? endByFault() : true;
    }
    BodyStream stream(body);
    std::string piece;
    while (sent < allowance && stream.Next(piece)) {
        const std::uint64_t count = std::min<std::uint64_t>(allowance - sent, piece.size());
        if (!sendPaced(count, [&](std::uint64_t done, std::uint64_t length) {
                return socket.SendAll(piece.data() + done, static_cast<std::size_t>(length));
            })) {
            return false;
        }
    }
    if (bodyFault) {
        return endByFault();
    }
    return !stream.Failed();
}

bool QvnService::PauseUnlessStopping(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(refusalMutex_);
    return !refusalChanged_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

void QvnService::Refuse(Connection& connection, std::string_view status) {
    const std::string refusal = RefusalText(status);
    if (!connection.socket.SendAll(refusal.data(), refusal.size())) {
        return;
    }
    // The client may still be sending what was refused. Closing with unread
    // bytes would reset the connection and could destroy the refusal before
    // the client reads it, so take in (and drop) what comes for a while.
    connection.socket.ShutdownSend();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::min<std::chrono::milliseconds>(options_.receiveTimeout, kDrainTime);
    std::uint64_t drained = 0;
    while (drained < kDrainLimit && ReceiveMore(connection, deadline)) {
        drained += connection.pending.size();
        connection.pending.clear();
    }
}

void QvnService::Stall(Connection& connection) {
    std::array<char, kReceiveChunk> buffer;
    while (!stopping_) {
        const platform::WaitResult ready = connection.socket.WaitReadable(kStallSlice, nullptr);
        if (ready == platform::WaitResult::Failed) {
            return;
        }
        if (ready == platform::WaitResult::Ready) {
            // What the client still sends is dropped; its close ends the stall.
            auto received = connection.socket.Receive(buffer.data(), buffer.size());
            if (!received || *received == 0) {
                return;
            }
        }
    }
}

void QvnService::ReportProblem(const std::string& key, const std::string& problem) {
    if (!options_.diagnostics) {
        return;
    }
    const std::string message = key + ".conf " + problem;
    {
        std::lock_guard<std::mutex> lock(problemsMutex_);
        if (!reportedProblems_.insert(message).second) {
            return;
        }
    }
    options_.diagnostics(message);
}

}  // namespace qvn_service
