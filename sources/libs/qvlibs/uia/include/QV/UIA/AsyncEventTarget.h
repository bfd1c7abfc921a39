#pragma once

#include <QV/UIA/EventTarget.h>

namespace QV::UIA {

// The one path by which another thread has an event delivered on the main
// thread. A target is registered under a destination handle; postEvent, from
// any thread, queues (code, handle) through the platform's notification
// centre, and the main run loop then sends the code to the target with an
// empty record. Events posted by one thread arrive in the order posted.
//
// Thread affinity: init and deInit on the main thread (library start-up and
// shut-down); postEvent on any thread; dispatch on the main thread. The
// destination map is guarded by a recursive mutex held while the target
// handles the event.
class AsyncEventTargetImpl
{
public:
    AsyncEventTargetImpl() = delete;

    // True; with skip nothing is set up.
    static bool init(bool skip);
    static void deInit();
    static bool isInitialized() noexcept;

    // A new destination handle for the target (never 0), or 0 for null.
    static unsigned registerTarget(EventTarget* target);
    static void unregisterTarget(unsigned handle);
    // Removes every handle of a target that is going away.
    static void forgetTarget(EventTarget* target) noexcept;

    // False when the path is not initialised; the event is then dropped.
    static bool postEvent(unsigned code, unsigned handle);

    // Sends the code to the registered target on the calling thread and
    // answers its handled flag; false for an unknown handle.
    static bool dispatchEvent(unsigned code, unsigned handle);
};

} // namespace QV::UIA
