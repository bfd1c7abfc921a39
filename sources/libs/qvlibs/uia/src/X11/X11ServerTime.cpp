#include "X11ServerTime.h"

#include <X11/Xatom.h>

#include <poll.h>

#include <cerrno>

namespace QV::UIA::DETAIL::X11 {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for an event of `type` on `window` until the deadline, which is
// looked at before every event: a peer that keeps events coming faster than
// they are handled must not hold the caller past it.
bool waitForEvent(Display* display, Window window, int type, XEvent& event, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        if (XCheckTypedWindowEvent(display, window, type, &event))
            return true;
        pollfd ready{ConnectionNumber(display), POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            return false;
        // Reads whatever arrived into Xlib's queue without blocking.
        XEventsQueued(display, QueuedAfterReading);
    }
}

} // namespace

Window makeWindow(Display* display)
{
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    return window;
}

Time serverTime(Display* display, Window window, std::chrono::milliseconds limit)
{
    const Atom stamp = XInternAtom(display, "QV_TIMESTAMP", False);
    unsigned char none = 0;
    XChangeProperty(display, window, stamp, XA_STRING, 8, PropModeAppend, &none, 0);
    XEvent event;
    if (waitForEvent(display, window, PropertyNotify, event, Clock::now() + limit))
        return event.xproperty.time;
    return CurrentTime;
}

} // namespace QV::UIA::DETAIL::X11
