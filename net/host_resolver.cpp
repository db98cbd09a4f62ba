#include "net/host_resolver.h"

#include "platform/socket.h"

namespace net {

platform::Result<std::uint32_t> SystemHostResolver::Lookup(const std::string& host) {
    return platform::LookupHostIPv4(host);
}

HostResolver& DefaultHostResolver() {
    static SystemHostResolver resolver;
    return resolver;
}

}  // namespace net
