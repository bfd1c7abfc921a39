#pragma once

#include <QV/UIA/EventTarget.h>

#include <chrono>
#include <functional>
#include <memory>

namespace QV::UIA {

class EventTimerManager;

namespace DETAIL {

// One tick-timer subscription, owned by the manager's list.
struct EventTimerSubscription {
    EventTimerSubscription* previous = nullptr;
    EventTimerSubscription* next = nullptr;
    int interval = 0;  // milliseconds, a whole number of ticks
    int remaining = 0; // countdown to the next event
    int priority = 0;
    EventTarget* target = nullptr; // null once the target was destroyed
    int dispatchDepth = 0;         // tick dispatches currently inside
    bool killed = false;           // cancelled while being dispatched
};

} // namespace DETAIL

// The source of the tick: install starts a platform timer that calls
// notifySubscribers every tick on the thread that installed it; deinstall
// stops it.
class AbstractEventTimerManagerOsBridge
{
public:
    explicit AbstractEventTimerManagerOsBridge(EventTimerManager& manager) noexcept : m_manager(manager) {}
    virtual ~AbstractEventTimerManagerOsBridge() = default;
    AbstractEventTimerManagerOsBridge(const AbstractEventTimerManagerOsBridge&) = delete;
    AbstractEventTimerManagerOsBridge& operator=(const AbstractEventTimerManagerOsBridge&) = delete;

    virtual void install(std::chrono::milliseconds tick) = 0;
    virtual void deinstall() = 0;

    void notifySubscribers();

protected:
    EventTimerManager& m_manager;
};

// One shared 40 ms tick for every event target. Each subscription counts
// down in whole ticks and sends kEventTimer (TimerEventData) to its target
// when its interval has elapsed; subscriptions are served highest priority
// first, equal priorities in the order they subscribed. The platform timer
// runs only while at least one subscription exists.
//
// The application owns the one manager; EventTarget::setEventTimer and
// killEventTimer use the process-wide singleton that its constructor sets.
//
// Thread affinity: main thread.
class EventTimerManager
{
public:
    static constexpr int kTickMs = 40;

    using BridgeFactory = std::function<std::unique_ptr<AbstractEventTimerManagerOsBridge>(EventTimerManager&)>;

    // With the platform's run-loop timer as the tick source.
    EventTimerManager();
    // With a tick source of the caller's making.
    explicit EventTimerManager(const BridgeFactory& makeBridge);
    ~EventTimerManager();
    EventTimerManager(const EventTimerManager&) = delete;
    EventTimerManager& operator=(const EventTimerManager&) = delete;

    static EventTimerManager* getSingleton() noexcept;
    static void setSingleton(EventTimerManager* manager) noexcept;

    // An interval as the manager keeps it: at least one tick, otherwise the
    // nearest whole number of ticks (a remainder of half a tick rounds down),
    // at most the largest whole number of ticks an int holds.
    static int roundInterval(int intervalMs) noexcept;

    HEventTimer subscribe(EventTarget* target, int intervalMs, int priority);
    // Ignored unless the handle is a live subscription of the target.
    void unsubscribe(EventTarget* target, HEventTimer timer);
    // Cancels every subscription of a target that is going away.
    void removeTarget(EventTarget* target) noexcept;

    // One tick.
    void notifySubscribers();

    std::chrono::system_clock::time_point getLastTickTime() const noexcept { return m_lastTickTime; }
    bool hasSubscriptions() const noexcept { return m_first != nullptr; }

private:
    bool isListed(HEventTimer timer) const noexcept;
    void unlink(DETAIL::EventTimerSubscription* subscription) noexcept;
    void finishDispatch(DETAIL::EventTimerSubscription* subscription, int depthBefore);
    void deinstallWhenEmpty();

    std::unique_ptr<AbstractEventTimerManagerOsBridge> m_bridge;
    int m_tick = kTickMs;
    std::chrono::system_clock::time_point m_lastTickTime;
    DETAIL::EventTimerSubscription* m_first = nullptr;
    DETAIL::EventTimerSubscription* m_last = nullptr;
};

} // namespace QV::UIA
