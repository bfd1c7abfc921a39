#include <QV/UIA/EventData.h>
#include <QV/UIA/EventTimerManager.h>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using namespace QV::UIA;

namespace {

// Counts installs and removals of the tick instead of running a real timer;
// the tests call notifySubscribers as the platform would every 40 ms.
struct FakeTick {
    int installs = 0;
    int deinstalls = 0;
    bool running = false;
};

class FakeBridge : public AbstractEventTimerManagerOsBridge
{
public:
    FakeBridge(EventTimerManager& manager, FakeTick& tick) : AbstractEventTimerManagerOsBridge(manager), m_tick(tick) {}
    void install(std::chrono::milliseconds tick) override
    {
        EXPECT_EQ(tick.count(), 40);
        EXPECT_FALSE(m_tick.running) << "a second platform timer";
        ++m_tick.installs;
        m_tick.running = true;
    }
    void deinstall() override
    {
        ++m_tick.deinstalls;
        m_tick.running = false;
    }

private:
    FakeTick& m_tick;
};

// Records at which tick each of its timer events arrived; an optional hook
// runs inside the handler.
class Recorder : public EventTarget
{
public:
    explicit Recorder(std::vector<int>* order = nullptr, int id = 0) : m_order(order), m_id(id) {}
    bool onEvent(unsigned code, EventData* data) override
    {
        if (code != kEventTimer)
            return false;
        auto* timer = static_cast<TimerEventData*>(data);
        lastInterval = timer->interval;
        lastHandle = timer->timer;
        ++events;
        if (m_order)
            m_order->push_back(m_id);
        if (hook)
            hook(timer->timer);
        return true;
    }
    int events = 0;
    unsigned lastInterval = 0;
    HEventTimer lastHandle = nullptr;
    std::function<void(HEventTimer)> hook;

private:
    std::vector<int>* m_order;
    int m_id;
};

class EventTimerTest : public ::testing::Test
{
protected:
    FakeTick tick;
    EventTimerManager manager{[this](EventTimerManager& m) { return std::make_unique<FakeBridge>(m, tick); }};

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            manager.notifySubscribers();
    }
};

} // namespace

TEST(EventTimerRounding, IntervalsBecomeWholeTicks)
{
    const std::pair<int, int> cases[] = {{0, 40},   {-5, 40},   {INT_MIN, 40},  {40, 40},    {60, 40},
                                         {61, 80},  {100, 80},  {101, 120},     {1010, 1000}, {1021, 1040}};
    for (const auto& [interval, rounded] : cases)
        EXPECT_EQ(EventTimerManager::roundInterval(interval), rounded) << interval;
    // Near the top of int the rounding stays positive and a whole tick.
    const int top = EventTimerManager::roundInterval(INT_MAX);
    EXPECT_GT(top, INT_MAX - 40);
    EXPECT_EQ(top % 40, 0);
    EXPECT_EQ(EventTimerManager::roundInterval(INT_MAX - 1), top);
}

TEST_F(EventTimerTest, EventsArriveEveryIntervalInWholeTicks)
{
    Recorder everyTick, second, rounded;
    everyTick.setEventTimer(0, 0);
    second.setEventTimer(1010, 0);
    rounded.setEventTimer(1021, 0);
    ticks(25);
    EXPECT_EQ(everyTick.events, 25);
    EXPECT_EQ(everyTick.lastInterval, 40u);
    EXPECT_EQ(second.events, 1);
    EXPECT_EQ(second.lastInterval, 1000u);
    EXPECT_EQ(rounded.events, 0);
    ticks(1);
    EXPECT_EQ(rounded.events, 1);
    ticks(50);
    EXPECT_EQ(second.events, 3);
    EXPECT_EQ(rounded.events, 2);
    EXPECT_EQ(tick.installs, 1) << "one platform timer for all subscriptions";
}

TEST_F(EventTimerTest, HigherPriorityFirstThenOrderOfSubscribing)
{
    std::vector<int> order;
    Recorder firstFive(&order, 1), nine(&order, 2), secondFive(&order, 3);
    firstFive.setEventTimer(40, 5);
    nine.setEventTimer(40, 9);
    secondFive.setEventTimer(40, 5);
    ticks(1);
    EXPECT_EQ(order, (std::vector<int>{2, 1, 3}));
}

TEST_F(EventTimerTest, CancellingStopsEventsAndTheLastOneStopsThePlatformTimer)
{
    Recorder a, b;
    HEventTimer ha = a.setEventTimer(40, 0);
    HEventTimer hb = b.setEventTimer(40, 0);
    b.killEventTimer(ha); // not b's timer: ignored
    b.killEventTimer(nullptr);
    ticks(1);
    EXPECT_EQ(a.events, 1);
    a.killEventTimer(ha);
    a.killEventTimer(ha); // stale: looked up, not read
    EXPECT_TRUE(tick.running);
    b.killEventTimer(hb);
    EXPECT_FALSE(tick.running);
    EXPECT_EQ(tick.deinstalls, 1);
    ticks(2);
    EXPECT_EQ(a.events, 1);
    EXPECT_EQ(b.events, 1);
    b.setEventTimer(40, 0);
    EXPECT_EQ(tick.installs, 2);
}

TEST_F(EventTimerTest, CancellingInsideTheHandler)
{
    Recorder self, other, last;
    HEventTimer otherHandle = other.setEventTimer(40, 0);
    HEventTimer selfHandle = self.setEventTimer(40, 1);
    // Cancels itself and a later subscription from inside its own event.
    self.hook = [&](HEventTimer h) {
        self.killEventTimer(h);
        other.killEventTimer(otherHandle);
    };
    ticks(3);
    EXPECT_EQ(self.events, 1);
    EXPECT_EQ(other.events, 0);
    EXPECT_EQ(self.lastHandle, selfHandle);
    EXPECT_FALSE(manager.hasSubscriptions());
    EXPECT_FALSE(tick.running) << "the handler cancelled the last subscription";

    // A handler that subscribes anew keeps the tick going.
    bool resubscribed = false;
    last.hook = [&](HEventTimer h) {
        last.killEventTimer(h);
        if (!resubscribed)
            last.setEventTimer(80, 0);
        resubscribed = true;
    };
    last.setEventTimer(40, 0);
    ticks(1);
    EXPECT_TRUE(tick.running);
    ticks(2);
    EXPECT_EQ(last.events, 2);
}

TEST_F(EventTimerTest, DestroyedTargetsReceiveNothing)
{
    auto gone = std::make_unique<Recorder>();
    HEventTimer handle = gone->setEventTimer(40, 0);
    gone.reset();
    EXPECT_FALSE(manager.hasSubscriptions());
    EXPECT_FALSE(tick.running);
    Recorder survivor;
    survivor.killEventTimer(handle); // stale handle of a destroyed target
    ticks(2);

    // A target destroyed by its own handler, and one destroyed by another's
    // handler later in the same tick.
    auto selfDestroying = std::make_unique<Recorder>();
    auto victim = std::make_unique<Recorder>();
    selfDestroying->setEventTimer(40, 2);
    victim->setEventTimer(40, 0);
    survivor.setEventTimer(40, 1);
    selfDestroying->hook = [&](HEventTimer) { selfDestroying.reset(); };
    survivor.hook = [&](HEventTimer) { victim.reset(); };
    ticks(3);
    EXPECT_EQ(survivor.events, 3);
    EXPECT_FALSE(selfDestroying);
    EXPECT_FALSE(victim);
}

TEST_F(EventTimerTest, AnExceptionFromAHandlerLeavesTheListSound)
{
    Recorder thrower;
    HEventTimer handle = thrower.setEventTimer(40, 0);
    thrower.hook = [](HEventTimer) { throw 7; };
    EXPECT_THROW(ticks(1), int);
    thrower.hook = nullptr;
    thrower.killEventTimer(handle);
    EXPECT_FALSE(manager.hasSubscriptions());
}

TEST(EventTimerSingleton, TimersNeedAManagerAndABareTargetTakesNothing)
{
    EXPECT_EQ(EventTimerManager::getSingleton(), nullptr);
    EventTarget target;
    EXPECT_EQ(target.setEventTimer(40, 0), nullptr);
    target.killEventTimer(nullptr);
    EventData none;
    EXPECT_FALSE(target.sendEvent(kEventMouseButton, &none));
    target.sendObserverEvent(kEventWindowSized, &none);
    // Requests nobody answers go ahead.
    EXPECT_TRUE(QuitRequestEventData().allowed);
    EXPECT_TRUE(CloseRequestEventData().allow);
}
