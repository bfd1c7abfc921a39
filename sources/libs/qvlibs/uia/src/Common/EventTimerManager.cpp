#include <QV/UIA/EventData.h>
#include <QV/UIA/EventTimerManager.h>

#include "PlatformHooks.h"

#include <climits>
#include <cstdlib>
#include <exception>

namespace QV::UIA {

namespace {
EventTimerManager* gEventTimerManagerSingleton = nullptr;
}

void AbstractEventTimerManagerOsBridge::notifySubscribers()
{
    m_manager.notifySubscribers();
}

EventTimerManager::EventTimerManager() : EventTimerManager(&DETAIL::makePlatformEventTimerBridge)
{
}

EventTimerManager::EventTimerManager(const BridgeFactory& makeBridge) : m_bridge(makeBridge(*this))
{
    setSingleton(this);
}

EventTimerManager::~EventTimerManager()
{
    if (m_first && m_bridge) {
        try {
            m_bridge->deinstall();
        } catch (...) {
            std::terminate();
        }
    }
    if (gEventTimerManagerSingleton == this)
        setSingleton(nullptr);
    while (m_first) {
        DETAIL::EventTimerSubscription* next = m_first->next;
        delete m_first;
        m_first = next;
    }
    m_last = nullptr;
}

EventTimerManager* EventTimerManager::getSingleton() noexcept
{
    return gEventTimerManagerSingleton;
}

void EventTimerManager::setSingleton(EventTimerManager* manager) noexcept
{
    gEventTimerManagerSingleton = manager;
}

int EventTimerManager::roundInterval(int intervalMs) noexcept
{
    constexpr int tick = kTickMs;
    if (intervalMs <= tick)
        return tick;
    // Worked in 64 bits: rounding up near INT_MAX would overflow an int.
    const long long i = intervalMs;
    long long q = i - i % tick;
    if (q + tick / 2 < i)
        q += tick;
    constexpr long long largest = INT_MAX - INT_MAX % tick;
    return static_cast<int>(q > largest ? largest : q);
}

HEventTimer EventTimerManager::subscribe(EventTarget* target, int intervalMs, int priority)
{
    if (!target)
        return nullptr;
    auto* subscription = new DETAIL::EventTimerSubscription;
    subscription->interval = subscription->remaining = roundInterval(intervalMs);
    subscription->priority = priority;
    subscription->target = target;

    const bool wasEmpty = m_first == nullptr;
    DETAIL::EventTimerSubscription* before = m_first;
    while (before && before->priority >= priority)
        before = before->next;
    subscription->next = before;
    subscription->previous = before ? before->previous : m_last;
    (subscription->previous ? subscription->previous->next : m_first) = subscription;
    (before ? before->previous : m_last) = subscription;

    if (wasEmpty && m_bridge)
        m_bridge->install(std::chrono::milliseconds(m_tick));
    return subscription;
}

bool EventTimerManager::isListed(HEventTimer timer) const noexcept
{
    for (const DETAIL::EventTimerSubscription* s = m_first; s; s = s->next) {
        if (s == timer)
            return true;
    }
    return false;
}

void EventTimerManager::unlink(DETAIL::EventTimerSubscription* subscription) noexcept
{
    (subscription->previous ? subscription->previous->next : m_first) = subscription->next;
    (subscription->next ? subscription->next->previous : m_last) = subscription->previous;
    delete subscription;
}

void EventTimerManager::deinstallWhenEmpty()
{
    if (!m_first && m_bridge)
        m_bridge->deinstall();
}

void EventTimerManager::unsubscribe(EventTarget* target, HEventTimer timer)
{
    // The handle is looked up before it is read: a stale or foreign handle
    // must not be dereferenced.
    if (!timer || !isListed(timer) || timer->target != target || timer->killed)
        return;
    if (timer->dispatchDepth == 0)
        unlink(timer);
    else
        timer->killed = true;
    deinstallWhenEmpty();
}

void EventTimerManager::removeTarget(EventTarget* target) noexcept
{
    DETAIL::EventTimerSubscription* s = m_first;
    bool removed = false;
    while (s) {
        DETAIL::EventTimerSubscription* next = s->next;
        if (s->target == target) {
            if (s->dispatchDepth == 0) {
                unlink(s);
            } else {
                // The tick loop still stands inside it and deletes it later.
                s->killed = true;
                s->target = nullptr;
            }
            removed = true;
        }
        s = next;
    }
    if (removed) {
        try {
            deinstallWhenEmpty();
        } catch (...) {
            std::terminate();
        }
    }
}

void EventTimerManager::finishDispatch(DETAIL::EventTimerSubscription* subscription, int depthBefore)
{
    subscription->dispatchDepth = depthBefore - 1;
    if (subscription->killed && depthBefore < 2) {
        unlink(subscription);
        deinstallWhenEmpty();
    }
}

void EventTimerManager::notifySubscribers()
{
    m_lastTickTime = std::chrono::system_clock::now();
    DETAIL::EventTimerSubscription* s = m_first;
    while (s) {
        ++s->dispatchDepth;
        s->remaining -= m_tick;
        if (s->remaining <= 0 && !s->killed) {
            if (-2 * static_cast<long long>(s->remaining) > m_tick) {
                // Overshot by more than half a tick: skip this event and
                // keep the phase.
                const int sum = s->interval + s->remaining;
                s->remaining = sum != 0 ? sum : s->interval;
            } else {
                s->remaining = s->interval;
                if (s->target) {
                    TimerEventData data;
                    data.timer = s;
                    data.interval = static_cast<std::uint32_t>(s->interval);
                    try {
                        s->target->sendEvent(kEventTimer, &data);
                    } catch (...) {
                        finishDispatch(s, s->dispatchDepth);
                        throw;
                    }
                }
            }
        }
        // Read only now: the handler may have added or cancelled
        // subscriptions, this one included.
        const int depthBefore = s->dispatchDepth;
        DETAIL::EventTimerSubscription* next = s->next;
        finishDispatch(s, depthBefore);
        s = next;
    }
}

} // namespace QV::UIA
