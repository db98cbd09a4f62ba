#pragma once
// The one part of the system clock that each system answers its own way.

#include "platform/clock.h"

namespace platform {

// Now, in the local time zone of the system's settings.
SystemTime LocalTimeNow();

}  // namespace platform
