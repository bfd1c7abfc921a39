// Notices of a changed display configuration, without a display: the
// platform's notification is posted by hand, and the application must never
// hear of it after the display manager stopped. Without a platform
// application the list is empty, and a rebuild must not read a primary screen
// that is not there.
#include "TestApplication.h"

#include <QV/UIA/DisplayManager.h>

#include "Cocoa/GNUstepHeaders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace QV::UIA;
using namespace QV::UIA::Testing;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

void runMainLoopFor(Clock::duration span)
{
    const auto deadline = Clock::now() + span;
    while (Clock::now() < deadline) {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.02]];
        [pool release];
    }
}

void postScreenChange()
{
    [[NSNotificationCenter defaultCenter] postNotificationName:NSApplicationDidChangeScreenParametersNotification
                                                        object:nil];
}

class DisplayNoticeTest : public WithApplication
{
protected:
    // The moments at which the application heard of a change, since `start`.
    std::vector<Clock::duration> heard(Clock::time_point start, Clock::duration span)
    {
        std::vector<Clock::duration> moments;
        std::size_t seen = 0;
        const auto deadline = Clock::now() + span;
        while (Clock::now() < deadline) {
            runMainLoopFor(10ms);
            const auto count = static_cast<std::size_t>(
                std::count(application->received.begin(), application->received.end(), kEventDisplaysChanged));
            for (; seen < count; ++seen)
                moments.push_back(Clock::now() - start);
        }
        return moments;
    }
};

} // namespace

TEST_F(DisplayNoticeTest, StoppingDropsPendingTimers)
{
    postScreenChange();
    postScreenChange();
    DisplayManager::deInit();
    EXPECT_TRUE(heard(Clock::now(), 1500ms).empty());
    // Started again, it follows notices again, and only the new ones.
    DisplayManager::init();
    postScreenChange();
    EXPECT_EQ(heard(Clock::now(), 1500ms).size(), 1u);
}

TEST_F(DisplayNoticeTest, WithoutScreensTheListIsEmptyAndInitSaysSo)
{
    // No platform application here: the platform lists no screen at all.
    EXPECT_FALSE(DisplayManager::init());
    EXPECT_FALSE(DisplayManager::init()) << "a second call gives the same answer";
    DisplayManager::onDisplayChange();
    EXPECT_TRUE(DisplayManager::getDisplays().empty());
    EXPECT_TRUE(DisplayManager::getScreens().empty());
    EXPECT_EQ(DisplayManager::getBounds(), (QV::GP::Rect{0, 0, 1, 1}));
}
