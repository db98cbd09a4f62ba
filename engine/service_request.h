#pragma once
// One exchange with the service: a GET with an operation word and the
// private request headers, then the reply's header block and body.

#include <optional>
#include <string>
#include <string_view>

#include "engine/engine_context.h"
#include "net/reply_header.h"

namespace engine {

// True when a reply header block (and the body it announced) was read and
// its status was not 407. The reply's conclusion, flags, LARCH numbers and
// body are left in the context; callers judge the conclusion.
bool ServiceRequest(EngineContext& context, std::string_view queryWord);

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
