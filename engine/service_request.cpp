#include "engine/service_request.h"

#include <vector>

#include "net/request_builder.h"

namespace engine {
namespace {

using net::LineKind;

// Stores what every reply leaves for the operations: the close request,
// the conclusion, the LARCH numbers and the payload flags.
void StoreReplyState(EngineContext& context, const net::ReplyHeaders& headers) {
    if (headers.connectionClose) {
        context.link.SetCloseAfterReply();
    }
    if (headers.conclusion) {
        context.SetConclusion(*headers.conclusion);
    }
    EngineState& state = context.state;
    if (headers.larch) {
        state.larchFirst = headers.larch->first;
        if (headers.larch->second) {
            state.larchSecond = *headers.larch->second;
            if (state.larchSecondInitial == 0) {
                state.larchSecondInitial = state.larchSecond;
            }
        }
    }
    if (headers.payloadFlags) {
        for (std::size_t bit = 0; bit < 3; ++bit) {
            const std::uint32_t mask = 1u << bit;
            state.payloadFlags = (*headers.payloadFlags)[bit] ? (state.payloadFlags | mask)
                                                              : (state.payloadFlags & ~mask);
        }
    }
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

bool ServiceRequest(EngineContext& context, std::string_view queryWord) {
    const std::string word(queryWord);
    net::ServerLink& link = context.link;
    EngineState& state = context.state;

    context.SetConclusion("");
    link.ClearCommFailed();

    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    if (!link.connectionOpen() && !link.Connect()) {
        WriteErrorLine(context, "Err - Connect to server failed\n");
        return false;
    }
    if (state.shortTimeout) {
        link.UseShortTimeout();
        state.shortTimeout = false;
    } else {
        link.UseNormalTimeout();
    }

    const std::optional<std::string> credentials = CredentialLines(context);
    if (!credentials) {
        net::Logf(context.log(), LineKind::Error, " Err - %s - Credentials do not fit\n",
                  word.c_str());
        link.Disconnect();
        return false;
    }
    const std::string request =
        net::ServiceRequestText(word, link.currentHost(), *credentials, state.currentFileId);
    (void)link.SendRequest(request);

    net::ReplyHeaderReader reader;
    const HeaderRead read = ReadHeaderBlock(context, reader);
    if (read == HeaderRead::Overlong) {
        net::Logf(context.log(), LineKind::Error,
                  " Err - %s - Response header longer than %d bytes\n", word.c_str(),
                  static_cast<int>(net::ReplyHeaderReader::kLimit));
        link.Disconnect();
        link.SetCommFailed();
        return false;
    }
    if (read != HeaderRead::Complete) {
        net::Logf(context.log(), LineKind::Error,
                  " Err - %s - Connection Closed Incomplete HTTP response header %d\n",
                  word.c_str(), static_cast<int>(reader.Block().size()));
        if (read == HeaderRead::Failed) {
            WriteErrorLine(context, "Err - %s - Connection Closed Incomplete response header\n",
                           word.c_str());
        } else {
            WriteErrorLine(context,
                           "Err - %s - Connection Closed r=0 Incomplete response header \n",
                           word.c_str());
        }
        link.Disconnect();
        link.SetCommFailed();
        if (read == HeaderRead::Failed) {
            link.MarkCurrentServerFailed();
        }
        return false;
    }

    const std::string& block = reader.Block();
    if (net::IsProxyAuthenticationFailure(block)) {
        net::Logf(context.log(), LineKind::Error, " Err - %s - Proxy Authentication Failed\n",
                  word.c_str());
        link.Disconnect();
        return false;
    }

    const net::ReplyHeaders headers = net::ParseReplyHeaders(block);
    StoreReplyState(context, headers);

    state.replyBody.reset();
    if (headers.contentLength) {
        const std::int64_t length = *headers.contentLength;
        if (length < 0 || length > context.config.maxReplyBody) {
            // Lists and verdicts are small; anything else is bad input, never
            // a reason for a huge allocation.
            net::Logf(context.log(), LineKind::Error,
                      " Err - %s - Unacceptable Content-Length %lld\n", word.c_str(),
                      static_cast<long long>(length));
            link.Disconnect();
            return false;
        }
        std::vector<std::uint8_t> body(static_cast<std::size_t>(length) + 4, 0);
        std::size_t received = 0;
        while (received < static_cast<std::size_t>(length)) {
            // Never more than the rest of the body, so nothing beyond it is
            // taken from the connection.
            const std::ptrdiff_t got =
                link.Receive(body.data() + received, static_cast<std::size_t>(length) - received);
            if (got <= 0) {
                net::Logf(context.log(), LineKind::Error,
                          " Err - %s - Connection Closed Incomplete HTTP response data\n",
                          word.c_str());
                if (got < 0) {
                    link.SetCommFailed();
                    link.MarkCurrentServerFailed();
                }
                link.Disconnect();
                return false;
            }
            received += static_cast<std::size_t>(got);
        }
        state.replyLength = length;
        state.replyBody = std::move(body);
    }

    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    return true;
}

}  // namespace engine
