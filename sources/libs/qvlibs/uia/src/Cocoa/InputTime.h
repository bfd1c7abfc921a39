#pragma once

#include <chrono>
#include <cstdint>
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

// How long before the server's clock read `serverNowMs` (milliseconds, as
// the server keeps them in 32 bits) an input event stamped
// `platformTimestamp` was made; none where the stamp cannot be the server's.
//
// Thread affinity: any.
std::optional<std::chrono::milliseconds> ageOfInput(double platformTimestamp, std::uint32_t serverNowMs);

} // namespace QV::UIA::COCOA
