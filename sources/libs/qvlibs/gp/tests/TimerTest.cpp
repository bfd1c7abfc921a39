#include <QV/GP/Timer.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using QV::GP::Timer;

namespace {

constexpr std::uint64_t kMaxTicks = std::numeric_limits<std::uint64_t>::max();

TEST(Timer, TicksPerSecondFromTimebase)
{
    EXPECT_EQ(Timer::ticksPerSecond(1, 1), 1000000000u);
    EXPECT_EQ(Timer::ticksPerSecond(125, 3), 24000000u); // a 24 MHz clock
    EXPECT_EQ(Timer::ticksPerSecond(3, 1), 333333333u);  // truncated
    EXPECT_EQ(Timer::ticksPerSecond(0, 1), 0u);
    EXPECT_EQ(Timer::ticksPerSecond(1, 0), 0u);
    EXPECT_EQ(Timer::ticksPerSecond(1, 5), 0u); // 5 GHz does not fit 32 bits
}

TEST(Timer, ConversionIsExactOverTheWholeRange)
{
    constexpr std::uint32_t kNanoseconds = 1000000000;
    EXPECT_EQ(Timer::convertTicksToMS(0, kNanoseconds), 0u);
    EXPECT_EQ(Timer::convertTicksToMS(999999, kNanoseconds), 0u);
    EXPECT_EQ(Timer::convertTicksToMS(1000000, kNanoseconds), 1u);
    EXPECT_EQ(Timer::convertTicksToMS(123456789012, kNanoseconds), 123456u);

    // Where ticks × 1000 would wrap: 2^64 ÷ 1000 ticks and beyond.
    const std::uint64_t wrapPoint = kMaxTicks / 1000 + 1;
    EXPECT_EQ(Timer::convertTicksToMS(wrapPoint, kNanoseconds), wrapPoint / 1000000);
    EXPECT_EQ(Timer::convertTicksToMS(kMaxTicks, kNanoseconds), kMaxTicks / 1000000);

    // An odd rate: 3 ticks per millisecond.
    EXPECT_EQ(Timer::convertTicksToMS(kMaxTicks, 3000), kMaxTicks / 3);
    EXPECT_EQ(Timer::convertTicksToMS(kMaxTicks, std::numeric_limits<std::uint32_t>::max()),
              (kMaxTicks / 0xFFFFFFFFu) * 1000 + (kMaxTicks % 0xFFFFFFFFu) * 1000 / 0xFFFFFFFFu);
}

TEST(Timer, ConversionAtDegenerateRates)
{
    EXPECT_EQ(Timer::convertTicksToMS(12345, 0), 0u);
    EXPECT_EQ(Timer::convertTicksToMS(7, 1), 7000u);
    // More milliseconds than 64 bits hold saturate instead of wrapping.
    EXPECT_EQ(Timer::convertTicksToMS(kMaxTicks, 1), kMaxTicks);
    EXPECT_EQ(Timer::convertTicksToMS(kMaxTicks / 1000, 1), kMaxTicks / 1000 * 1000);
}

TEST(Timer, ClockIsMonotonicNanoseconds)
{
    const std::uint64_t first = Timer::getCurrentTicks();
    const std::uint64_t second = Timer::getCurrentTicks();
    EXPECT_GT(first, 0u);
    EXPECT_GE(second, first);
    // One tick is one nanosecond on this platform.
    EXPECT_EQ(Timer::convertTicksToMS(2500000000), 2500u);
}

} // namespace
