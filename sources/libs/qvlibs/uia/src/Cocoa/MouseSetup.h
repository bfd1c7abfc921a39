#pragma once

namespace QV::UIA::COCOA {

// Has the display server set up its mouse handling now rather than on the
// first button press it reads, so that the first press and its release reach
// the application in the order they were made; see MouseSetup.mm.
//
// Thread affinity: main thread, once the platform application's display
// server exists. Calls after the first that found a display server do
// nothing.
void setUpMouseBeforeFirstClick();

} // namespace QV::UIA::COCOA
