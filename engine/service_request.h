#pragma once
// A key operation's request to the service: a GET with an operation word
// and the private request headers, then the reply's header block and body.

#include <string_view>

#include "engine/engine_context.h"
#include "engine/exchange.h"

namespace engine {

// True when a reply header block (and the body it announced) was read and
// its status was not 407. The reply's conclusion, flags, LARCH numbers and
// body are left in the context; callers judge the conclusion.
bool ServiceRequest(EngineContext& context, std::string_view queryWord);

}  // namespace engine
