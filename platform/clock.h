#pragma once
// The one source of time and waiting. Code that sleeps or reads the clock
// takes a Clock, so tests substitute a clock whose sleeps take no real time.

#include <chrono>
#include <cstdint>

#include "platform/file_time.h"

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since 1 January 1970 UTC.
    virtual std::int64_t NowSeconds() = 0;
    // The local calendar time (time zone from the environment).
    virtual SystemTime LocalNow() = 0;
    // Time that only ever goes forward, from an arbitrary start: for
    // measuring pauses and rates, which a calendar set back would upset.
    virtual std::chrono::milliseconds SinceStart() = 0;
    // Blocks the calling thread for the given time.
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

// The real clock of the machine.
Clock& SystemClock();

}  // namespace platform
