#include <QV/UIA/AsyncEventTarget.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/EventTimerManager.h>

#include "Cocoa/GNUstepHeaders.h"
#include "Cocoa/InputTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <memory>
#include <thread>
#include <vector>

using namespace QV::UIA;

namespace {

class Collector : public EventTarget
{
public:
    bool onEvent(unsigned code, EventData*) override
    {
        codes.push_back(code);
        onMainThread = onMainThread && [NSThread isMainThread];
        return true;
    }
    std::vector<unsigned> codes;
    bool onMainThread = true;
};

// Runs the main run loop until the condition holds or the time is up.
template <typename Condition>
bool runMainLoopUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                                 beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
        [pool release];
    }
    return condition();
}

class AsyncEventTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(AsyncEventTargetImpl::init(false)); }
    void TearDown() override { AsyncEventTargetImpl::deInit(); }
};

} // namespace

TEST_F(AsyncEventTest, EventsFromOtherThreadsArriveOnTheMainThreadInOrder)
{
    Collector first, second;
    const unsigned h1 = AsyncEventTargetImpl::registerTarget(&first);
    const unsigned h2 = AsyncEventTargetImpl::registerTarget(&second);
    ASSERT_NE(h1, 0u);
    ASSERT_NE(h1, h2);

    constexpr unsigned kCount = 200;
    auto poster = [](unsigned handle) {
        for (unsigned i = 0; i < kCount; ++i)
            EXPECT_TRUE(AsyncEventTargetImpl::postEvent(5000 + i, handle));
    };
    std::thread a(poster, h1), b(poster, h2);
    a.join();
    b.join();
    ASSERT_TRUE(runMainLoopUntil([&] { return first.codes.size() == kCount && second.codes.size() == kCount; }))
        << first.codes.size() << " and " << second.codes.size();
    for (unsigned i = 0; i < kCount; ++i) {
        ASSERT_EQ(first.codes[i], 5000 + i);
        ASSERT_EQ(second.codes[i], 5000 + i);
    }
    EXPECT_TRUE(first.onMainThread);
    EXPECT_TRUE(second.onMainThread);

    // On the main thread the event is dispatched at once.
    EXPECT_TRUE(AsyncEventTargetImpl::postEvent(7, h1));
    EXPECT_EQ(first.codes.back(), 7u);
}

TEST_F(AsyncEventTest, UnknownAndGoneDestinationsReceiveNothing)
{
    EXPECT_FALSE(AsyncEventTargetImpl::dispatchEvent(1, 0));
    EXPECT_FALSE(AsyncEventTargetImpl::dispatchEvent(1, 999999));

    auto gone = std::make_unique<Collector>();
    const unsigned handle = AsyncEventTargetImpl::registerTarget(gone.get());
    Collector stays;
    const unsigned other = AsyncEventTargetImpl::registerTarget(&stays);
    std::thread poster([&] {
        AsyncEventTargetImpl::postEvent(1, handle);
        AsyncEventTargetImpl::postEvent(2, other);
    });
    poster.join();
    gone.reset(); // before the main loop delivers its event
    ASSERT_TRUE(runMainLoopUntil([&] { return !stays.codes.empty(); }));
    EXPECT_FALSE(AsyncEventTargetImpl::dispatchEvent(1, handle));

    AsyncEventTargetImpl::unregisterTarget(other);
    EXPECT_FALSE(AsyncEventTargetImpl::dispatchEvent(3, other));
}

TEST(AsyncEventPath, NothingIsPostedWhileNotInitialised)
{
    Collector target;
    const unsigned handle = AsyncEventTargetImpl::registerTarget(&target);
    EXPECT_TRUE(AsyncEventTargetImpl::init(true));
    EXPECT_FALSE(AsyncEventTargetImpl::isInitialized());
    EXPECT_FALSE(AsyncEventTargetImpl::postEvent(1, handle));
    ASSERT_TRUE(AsyncEventTargetImpl::init(false));
    AsyncEventTargetImpl::deInit();
    EXPECT_FALSE(AsyncEventTargetImpl::postEvent(1, handle));
    EXPECT_TRUE(target.codes.empty());
}

TEST(PlatformTick, TheRunLoopTimerDrivesTheManagerWhileSubscribed)
{
    EventTimerManager manager;
    Collector target;
    HEventTimer handle = target.setEventTimer(40, 0);
    ASSERT_NE(handle, nullptr);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(runMainLoopUntil([&] { return target.codes.size() >= 3; }));
    // Three ticks take at least two whole tick lengths.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    EXPECT_EQ(target.codes[0], unsigned(kEventTimer));
    EXPECT_TRUE(target.onMainThread);
    target.killEventTimer(handle);
    const size_t seen = target.codes.size();
    runMainLoopUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(target.codes.size(), seen) << "no tick after the last subscription went";
}

TEST(PlatformModifiers, GNUstepsModifierFlagsMapToTheLayersBits)
{
    EXPECT_EQ(modifiersFromPlatformFlags(NSShiftKeyMask), std::uint32_t(kModifierShift));
    EXPECT_EQ(modifiersFromPlatformFlags(NSAlphaShiftKeyMask), std::uint32_t(kModifierCapsLock));
    EXPECT_EQ(modifiersFromPlatformFlags(NSControlKeyMask), std::uint32_t(kModifierControl));
    EXPECT_EQ(modifiersFromPlatformFlags(NSAlternateKeyMask), std::uint32_t(kModifierOption));
    EXPECT_EQ(modifiersFromPlatformFlags(NSCommandKeyMask), std::uint32_t(kModifierCommand));
    EXPECT_EQ(modifiersFromPlatformFlags(NSNumericPadKeyMask | NSFunctionKeyMask | NSHelpKeyMask), 0u);
    // The device-dependent low bits are dropped too.
    EXPECT_EQ(modifiersFromPlatformFlags(NSShiftKeyMask | 0xffffu), std::uint32_t(kModifierShift));
}

// An input event's age from its stamp (the server's clock in seconds) and the
// server's clock now, in its 32 bits. A stamp of 0, as a program sending an
// event of its own gives, and a stamp that would be older than any hold of
// the main thread are no time at all: the press is neither refused as made
// long ago, which would refuse every such press, nor dated now.
TEST(PlatformInputTime, TheAgeOfAnEventComesFromItsStampAndTheServersClock)
{
    using std::chrono::milliseconds;
    struct Row {
        const char* name;
        double stamp;
        std::uint32_t now;
        std::optional<milliseconds> age;
    };
    const Row rows[] = {
        {"made a second ago", 4.0, 5000, milliseconds(1000)},
        {"made this very moment", 5.0, 5000, milliseconds(0)},
        {"the clock wrapped since", 4294967.0, 704, milliseconds(1000)},
        {"stamped 0 soon after the server started", 0.0, 5000, std::nullopt},
        {"stamped 0 on a server up for days", 0.0, 400000000, std::nullopt},
        {"older than any hold", 1.0, 1000 + 11 * 60 * 1000, std::nullopt},
        {"made after the clock was read", 6.0, 5000, std::nullopt},
        {"no number", std::nan(""), 5000, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(QV::UIA::COCOA::ageOfInput(row.stamp, row.now), row.age);
    }
}
