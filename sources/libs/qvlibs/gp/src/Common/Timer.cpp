#include <QV/GP/Timer.h>

#include <limits>

#include <time.h>

namespace QV::GP {

namespace {

constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
constexpr std::uint64_t kMillisecondsPerSecond = 1000;

// CLOCK_MONOTONIC counts nanoseconds: one nanosecond per tick.
constexpr std::uint32_t kTimebaseNumerator = 1;
constexpr std::uint32_t kTimebaseDenominator = 1;

} // namespace

std::uint64_t Timer::getCurrentTicks() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * kNanosecondsPerSecond
        + static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint32_t Timer::ticksPerSecond(std::uint32_t numerator, std::uint32_t denominator) noexcept
{
    if (numerator == 0 || denominator == 0)
        return 0;
    const double rate = double(denominator) * double(kNanosecondsPerSecond) / double(numerator);
    if (rate >= double(std::numeric_limits<std::uint32_t>::max()) + 1.0)
        return 0;
    return static_cast<std::uint32_t>(rate);
}

std::uint64_t Timer::convertTicksToMS(std::uint64_t ticks, std::uint32_t ticksPerSecond) noexcept
{
    if (ticksPerSecond == 0)
        return 0;
    // ticks × 1000 overflows from about 213 days of nanosecond ticks on, so
    // whole seconds and the rest are converted separately; the rest is below
    // 2^32 and its product with 1000 fits easily.
    // A rate below 1000 per second can give more milliseconds than 64 bits
    // hold; the answer then saturates rather than wrapping to a small time.
    const std::uint64_t seconds = ticks / ticksPerSecond;
    const std::uint64_t restMS = ticks % ticksPerSecond * kMillisecondsPerSecond / ticksPerSecond;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (seconds > (kMax - restMS) / kMillisecondsPerSecond)
        return kMax;
    return seconds * kMillisecondsPerSecond + restMS;
}

std::uint64_t Timer::convertTicksToMS(std::uint64_t ticks) noexcept
{
    static const std::uint32_t s_ticksPerSecond = ticksPerSecond(kTimebaseNumerator, kTimebaseDenominator);
    return convertTicksToMS(ticks, s_ticksPerSecond);
}

} // namespace QV::GP
