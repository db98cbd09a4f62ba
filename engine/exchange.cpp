#include "engine/exchange.h"

#include <array>

#include "net/request_builder.h"

namespace engine {
namespace {

using net::LineKind;

struct Line {
    LineKind kind = LineKind::Error;
    const char* format = nullptr;  // takes the request's name, then the header bytes read
};

struct FailureRow {
    ExchangeFailure failure;
    std::array<Line, 2> service;
    Line download;
    bool disconnect;
    bool commFailed;
    bool serverFailed;
};

constexpr const char* kIncompleteHeader =
    " Err - %s - Connection Closed Incomplete HTTP response header %d\n";
constexpr Line kDownloadHeader{LineKind::Error,
                               " Err - DownloadFile - Recv Incomplete HTTP header\n"};

// What each failure writes and does. A failed connect has already said
// (and marked) what happened.
constexpr std::array<FailureRow, 6> kFailures{{
    {ExchangeFailure::ConnectFailed,
     {{{LineKind::ErrorLine, "Err - Connect to server failed\n"}}},
     {},
     false,
     false,
     false},
    {ExchangeFailure::CredentialsTooLong,
     {{{LineKind::Error, " Err - %s - Credentials do not fit\n"}}},
     {LineKind::Error, " Err - DownloadFile - Credentials do not fit\n"},
     true,
     false,
     false},
    {ExchangeFailure::HeaderReceiveFailed,
     {{{LineKind::Error, kIncompleteHeader},
       {LineKind::ErrorLine, "Err - %s - Connection Closed Incomplete response header\n"}}},
     kDownloadHeader,
     true,
     true,
     true},
    {ExchangeFailure::HeaderClosed,
     {{{LineKind::Error, kIncompleteHeader},
       {LineKind::ErrorLine, "Err - %s - Connection Closed r=0 Incomplete response header \n"}}},
     kDownloadHeader,
     true,
     true,
     false},
    {ExchangeFailure::HeaderOverlong,
     {{{LineKind::Error, " Err - %s - Response header longer than %d bytes\n"}}},
     kDownloadHeader,
     true,
     true,
     false},
    {ExchangeFailure::ProxyAuthentication,
     {{{LineKind::Error, " Err - %s - Proxy Authentication Failed\n"}}},
     {LineKind::Error, " Err - DownloadFile - Proxy Authentication Failed %s\n"},
     true,
     false,
     false},
}};

// Why the exchange failed, for the dialog to say.
void NoteCause(EngineContext& context, ExchangeFailure failure) {
    using Kind = control::FailureCause::Kind;
    const std::string server = context.CurrentServerName();
    switch (failure) {
        case ExchangeFailure::None:
            return;
        case ExchangeFailure::ConnectFailed:
            if (context.StopRequested()) {
                context.NoteFailure(Kind::Stopped, "the download was stopped");
            } else {
                context.NoteFailure(Kind::Unreachable, context.link.connectFailure());
            }
            return;
        case ExchangeFailure::CredentialsTooLong:
            context.NoteFailure(Kind::Local, "the download key is longer than a request holds");
            return;
        case ExchangeFailure::HeaderReceiveFailed:
        case ExchangeFailure::HeaderClosed:
            context.NoteConnectionFailure(failure == ExchangeFailure::HeaderClosed);
            return;
        case ExchangeFailure::HeaderOverlong:
            context.NoteFailure(Kind::BrokenReply, "a reply from " + server + " that never ends");
            return;
        case ExchangeFailure::ProxyAuthentication:
            context.NoteFailure(Kind::BrokenReply,
                                "a proxy on the way to " + server + " refused the request");
            return;
    }
}

ExchangeResult Fail(EngineContext& context, const ExchangeRequest& request, ExchangeFailure failure,
                    std::size_t headerBytes) {
    NoteCause(context, failure);
    for (const FailureRow& row : kFailures) {
        if (row.failure != failure) {
            continue;
        }
        const std::array<Line, 2> lines =
            request.asker == Asker::Service ? row.service : std::array<Line, 2>{row.download};
        for (const Line& line : lines) {
            if (line.format != nullptr) {
                net::Logf(context.log(), line.kind, line.format, request.name.c_str(),
                          static_cast<int>(headerBytes));
            }
        }
        if (row.disconnect) {
            context.link.Disconnect();
        }
        if (row.commFailed) {
            context.link.SetCommFailed();
        }
        if (row.serverFailed) {
            context.link.MarkCurrentServerFailed();
        }
    }
    return ExchangeResult{failure, {}};
}

ExchangeFailure FailureOf(HeaderRead read) {
    switch (read) {
        case HeaderRead::Complete:
            return ExchangeFailure::None;
        case HeaderRead::Failed:
            return ExchangeFailure::HeaderReceiveFailed;
        case HeaderRead::Closed:
            return ExchangeFailure::HeaderClosed;
        case HeaderRead::Overlong:
            return ExchangeFailure::HeaderOverlong;
    }
    return ExchangeFailure::HeaderReceiveFailed;
}

}  // namespace

std::optional<std::string> CredentialLines(EngineContext& context) {
    const control::ControlBlock& block = context.block;
    net::Credentials credentials;
    credentials.downloadKey = block.downloadKey;
    credentials.loginId = block.loginId;
    credentials.password = block.password;
    credentials.clientId = block.clientId;
    return net::AddCredentialHeaders(context.config.keyTable, credentials, block.clock);
}

HeaderRead ReadHeaderBlock(EngineContext& context, net::ReplyHeaderReader& reader) {
    while (!reader.Complete()) {
        char byte = 0;
        const std::ptrdiff_t got = context.link.Receive(&byte, 1);
        if (got < 0) {
            return HeaderRead::Failed;
        }
        if (got == 0) {
            return HeaderRead::Closed;
        }
        reader.Feed(byte);
    }
    return reader.Truncated() ? HeaderRead::Overlong : HeaderRead::Complete;
}

ExchangeResult Exchange(EngineContext& context, const ExchangeRequest& request) {
    net::ServerLink& link = context.link;
    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    if (!link.connectionOpen() && !link.Connect()) {
        return Fail(context, request, ExchangeFailure::ConnectFailed, 0);
    }
    context.SetConclusion("");
    const std::optional<std::string> credentials = CredentialLines(context);
    if (!credentials) {
        return Fail(context, request, ExchangeFailure::CredentialsTooLong, 0);
    }
    const std::string text = request.build(*credentials);
    if (request.beforeSend) {
        request.beforeSend();
    }
    // A send that fails shows as a failed header read.
    (void)link.SendRequest(text);

    net::ReplyHeaderReader reader;
    const ExchangeFailure failure = FailureOf(ReadHeaderBlock(context, reader));
    if (failure != ExchangeFailure::None) {
        return Fail(context, request, failure, reader.Block().size());
    }
    if (net::IsProxyAuthenticationFailure(reader.Block())) {
        // A proxy's refusal is no reply of the service: whatever body it
        // carries must never become (or replace) a file.
        return Fail(context, request, ExchangeFailure::ProxyAuthentication, 0);
    }
    ExchangeResult result;
    result.headers = net::ParseReplyHeaders(reader.Block());
    if (result.headers.connectionClose) {
        link.SetCloseAfterReply();
    }
    if (result.headers.conclusion) {
        context.SetConclusion(*result.headers.conclusion);
    }
    if (const auto& larch = result.headers.larch) {
        EngineState& state = context.state;
        state.larchFirst = larch->first;
        if (larch->second) {
            state.larchSecond = *larch->second;
            if (state.larchSecondInitial == 0) {
                state.larchSecondInitial = state.larchSecond;
            }
        }
    }
    return result;
}

}  // namespace engine
