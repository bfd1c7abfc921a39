#pragma once

#include <chrono>
#include <optional>

namespace QV::UIA::COCOA {

// When an input event was made, on the steady clock, from its platform time
// stamp (NSEvent's timestamp: the X server's clock, in seconds). Input that
// reached the window while the main thread was held is handled late; its
// time tells what the window showed when it was made. None where that
// cannot be told: no X display, a server that does not answer at once, or a
// time stamp that is not the server's.
//
// Thread affinity: main thread (it reads the server's clock through the
// display server's own connection).
std::optional<std::chrono::steady_clock::time_point> whenMade(double platformTimestamp);

} // namespace QV::UIA::COCOA
