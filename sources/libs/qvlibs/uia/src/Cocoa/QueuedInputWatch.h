#pragma once

namespace QV::UIA::COCOA {

// Has each wait of the main run loop end at once while input is pending on
// the X connection, so that keys and clicks that arrived while the main
// thread was held are acted on as soon as it is free; see
// QueuedInputWatch.mm.
//
// Thread affinity: main thread, once the platform application's display
// server exists (a window is shown). Calls after the first that took effect
// do nothing.
void watchQueuedInput();

} // namespace QV::UIA::COCOA
