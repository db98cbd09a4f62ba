#include "engine/service_request.h"

#include <vector>

#include "net/request_builder.h"

namespace engine {
namespace {

using net::LineKind;

// The payload flags of every reply: whether lists and files come
// enciphered.
void StorePayloadFlags(EngineContext& context, const net::ReplyHeaders& headers) {
    if (!headers.payloadFlags) {
        return;
    }
    std::uint32_t& flags = context.state.payloadFlags;
    for (std::size_t bit = 0; bit < 3; ++bit) {
        const std::uint32_t mask = 1u << bit;
        flags = (*headers.payloadFlags)[bit] ? (flags | mask) : (flags & ~mask);
    }
}

// Reads the body the reply announced; false when it is refused or breaks
// off.
bool ReceiveReplyBody(EngineContext& context, const std::string& word, std::int64_t length) {
    net::ServerLink& link = context.link;
    if (length < 0 || length > context.config.maxReplyBody) {
        // Lists and verdicts are small; anything else is bad input, never
        // a reason for a huge allocation.
        net::Logf(context.log(), LineKind::Error, " Err - %s - Unacceptable Content-Length %lld\n",
                  word.c_str(), static_cast<long long>(length));
        context.NoteFailure(control::FailureCause::Kind::BrokenReply,
                            "a reply from " + context.CurrentServerName() + " of an unusable size");
        link.Disconnect();
        return false;
    }
    std::vector<std::uint8_t> body(static_cast<std::size_t>(length) + 4, 0);
    for (std::size_t received = 0; received < static_cast<std::size_t>(length);) {
        // Never more than the rest of the body, so nothing beyond it is
        // taken from the connection.
        const std::ptrdiff_t got =
            link.Receive(body.data() + received, static_cast<std::size_t>(length) - received);
        if (got <= 0) {
            net::Logf(context.log(), LineKind::Error,
                      " Err - %s - Connection Closed Incomplete HTTP response data\n",
                      word.c_str());
            context.NoteConnectionFailure(got == 0);
            if (got < 0) {
                link.SetCommFailed();
                link.MarkCurrentServerFailed();
            }
            link.Disconnect();
            return false;
        }
        received += static_cast<std::size_t>(got);
    }
    context.state.replyLength = length;
    context.state.replyBody = std::move(body);
    return true;
}

}  // namespace

bool ServiceRequest(EngineContext& context, std::string_view queryWord) {
    const std::string word(queryWord);
    net::ServerLink& link = context.link;
    EngineState& state = context.state;
    context.SetConclusion("");
    link.ClearCommFailed();

    ExchangeRequest request;
    request.asker = Asker::Service;
    request.name = word;
    request.build = [&](const std::string& credentials) {
        return net::ServiceRequestText(word, link.currentHost(), credentials, state.currentFileId);
    };
    request.beforeSend = [&] {
        if (state.shortTimeout) {
            link.UseShortTimeout();
            state.shortTimeout = false;
        } else {
            link.UseNormalTimeout();
        }
    };
    const ExchangeResult reply = Exchange(context, request);
    if (!reply.ok()) {
        return false;
    }
    StorePayloadFlags(context, reply.headers);

    state.replyBody.reset();
    if (reply.headers.contentLength &&
        !ReceiveReplyBody(context, word, *reply.headers.contentLength)) {
        return false;
    }
    if (link.closeAfterReply()) {
        link.Disconnect();
    }
    return true;
}

}  // namespace engine
