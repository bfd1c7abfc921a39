#pragma once

#include <cstdint>

namespace QV::GP {

// Ticks of the monotonic high-resolution clock and their conversion to
// milliseconds. On Linux a tick is one nanosecond of CLOCK_MONOTONIC, so the
// timebase is 1/1 and there are 1,000,000,000 ticks per second.
//
// Thread affinity: any thread.
class Timer
{
public:
    Timer() = delete;

    static std::uint64_t getCurrentTicks() noexcept;
    static std::uint64_t convertTicksToMS(std::uint64_t ticks) noexcept;

    // The conversion for a given rate, exact over the whole range of ticks:
    // whole seconds and the remainder are scaled apart so the product never
    // overflows. A rate of 0 gives 0; an answer beyond 64 bits (possible
    // only below 1000 ticks per second) saturates.
    static std::uint64_t convertTicksToMS(std::uint64_t ticks, std::uint32_t ticksPerSecond) noexcept;

    // Ticks per second for a timebase of numerator/denominator nanoseconds
    // per tick, truncated; 0 when either is 0 or the rate does not fit.
    static std::uint32_t ticksPerSecond(std::uint32_t numerator, std::uint32_t denominator) noexcept;
};

} // namespace QV::GP
