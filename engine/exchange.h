#pragma once
// One exchange with the service: a request sent on the connection in use
// (connecting first when none is open) and the reply's header block read
// and judged. The key operations' requests and the file download share
// it; what a failure means is one row of one table (exchange.cpp): the
// lines it writes, whether it drops the connection, counts as a failure
// of communication, and marks the server as failed.

#include <cstddef>
#include <functional>
#include <string>

#include "engine/engine_context.h"
#include "net/reply_header.h"

namespace engine {

// Who asks, for the lines a failure writes.
enum class Asker {
    Service,   // a key operation's request, named by its word
    Download,  // a file's download, named by the file's path
};

enum class ExchangeFailure {
    None,
    ConnectFailed,        // no connection could be made
    CredentialsTooLong,   // the credentials do not fit a request
    HeaderReceiveFailed,  // a receive timed out or failed within the header
    HeaderClosed,         // the peer closed the connection within the header
    HeaderOverlong,       // no empty line within the header's 4096 bytes
    ProxyAuthentication,  // status 407: no reply of the service
};

struct ExchangeRequest {
    Asker asker = Asker::Service;
    std::string name;  // the word, or the file's path
    // The request's text around the credentials lines.
    std::function<std::string(const std::string& credentials)> build;
    // Runs once the connection is open, before the request goes out (to
    // choose the receive time-out).
    std::function<void()> beforeSend;
};

struct ExchangeResult {
    ExchangeFailure failure = ExchangeFailure::None;
    net::ReplyHeaders headers;
    bool ok() const { return failure == ExchangeFailure::None; }
};

ExchangeResult Exchange(EngineContext& context, const ExchangeRequest& request);

enum class HeaderRead {
    Complete,  // the block ended at its empty line
    Failed,    // a receive timed out or failed
    Closed,    // the peer closed the connection
    Overlong,  // no empty line within the size limit: the rest of the
               // header would be taken for the body
};

// Reads a header block one byte per receive.
HeaderRead ReadHeaderBlock(EngineContext& context, net::ReplyHeaderReader& reader);

// The credentials lines for the next request, from the block's parameters.
std::optional<std::string> CredentialLines(EngineContext& context);

// Writes an "Err - " line when the log is open with any flag.
template <typename... Args>
void WriteErrorLine(EngineContext& context, const char* format, Args... args) {
    net::Logf(context.log(), net::LineKind::ErrorLine, format, args...);
}

}  // namespace engine
