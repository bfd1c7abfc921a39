#pragma once

namespace QV::UIA {

// The empty base of every event payload. Payloads are plain records that the
// sender builds (normally on its stack) and that live only during the call.
struct EventData {
};

namespace DETAIL {
struct EventTimerSubscription;
}

// The handle of one tick-timer subscription; null is no timer.
using HEventTimer = DETAIL::EventTimerSubscription*;

// The receiver of numbered events (codes in EventCode.h, payloads in
// EventData.h). sendEvent delivers and answers the handled flag; the base
// passes every event to onEvent, which handles nothing.
//
// Thread affinity: main thread. A target that is destroyed cancels its own
// tick timers and its asynchronous-event registrations, so that nothing is
// delivered to freed memory afterwards.
class EventTarget
{
public:
    EventTarget() = default;
    EventTarget(const EventTarget&) = default;
    EventTarget& operator=(const EventTarget&) = default;
    virtual ~EventTarget();

    virtual bool sendEvent(unsigned code, EventData* data);
    virtual void sendObserverEvent(unsigned code, EventData* data);
    virtual bool onEvent(unsigned code, EventData* data);
    virtual void onObserverEvent(unsigned code, EventData* data);

    // Subscribes this target to the application's tick (EventTimerManager):
    // kEventTimer arrives every interval, rounded to whole 40 ms ticks.
    // Higher priorities are served first in each tick. Null when no timer
    // manager exists.
    HEventTimer setEventTimer(int intervalMs, int priority);
    // Cancels one of this target's subscriptions; a null handle, a handle of
    // another target or one already cancelled is ignored.
    void killEventTimer(HEventTimer timer);
};

} // namespace QV::UIA
