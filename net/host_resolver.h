#pragma once
// Name lookup for server connections, behind an interface so that tests can
// count lookups and make them fail without a name service.

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace net {

class HostResolver {
  public:
    virtual ~HostResolver() = default;
    // The first IPv4 address of a host name, in network byte order.
    virtual platform::Result<std::uint32_t> Lookup(const std::string& host) = 0;
};

// Looks names up through the system's resolver.
class SystemHostResolver final : public HostResolver {
  public:
    platform::Result<std::uint32_t> Lookup(const std::string& host) override;
};

// The process-wide system resolver.
HostResolver& DefaultHostResolver();

}  // namespace net
