// GNUstep's X back end (0.29) gives each input event the time stamp of its X
// event, the server's clock in milliseconds, divided by 1000. The server's
// clock now is read through a round trip on the back end's connection; the
// event's age is the difference, taken in the clock's 32 bits so that it
// wraps with it, and the event was made that long before the answer came.
// The answer comes a round trip late at most, so an event may seem younger
// than it is by that much, never older.
#include "InputTime.h"

#include "GNUstepHeaders.h"
#include "X11/X11ServerTime.h"

#import <GNUstepGUI/GSDisplayServer.h>

#include <cmath>
#include <cstdint>

namespace QV::UIA::COCOA {

namespace {

// Long enough for a server that answers at all; a click does not wait for
// longer.
constexpr std::chrono::milliseconds kAnswerLimit{250};
// The longest the main thread may have held an event: an older stamp is not
// the server's.
constexpr std::uint32_t kLongestAgeMs = 10 * 60 * 1000;

} // namespace

std::optional<std::chrono::milliseconds> ageOfInput(double platformTimestamp, std::uint32_t serverNowMs)
{
    // X's CurrentTime, 0, is what a program that sends an event of its own
    // puts there: it says nothing of when the event was made.
    if (!std::isfinite(platformTimestamp) || platformTimestamp <= 0)
        return std::nullopt;
    const auto made = static_cast<std::uint32_t>(std::llround(std::fmod(platformTimestamp * 1000.0, 4294967296.0)));
    const std::uint32_t age = serverNowMs - made;
    if (age > kLongestAgeMs)
        return std::nullopt;
    return std::chrono::milliseconds(age);
}

std::optional<std::chrono::steady_clock::time_point> whenMade(double platformTimestamp)
{
    GSDisplayServer* server = GSCurrentServer();
    auto* display = server ? static_cast<Display*>([server serverDevice]) : nullptr;
    if (!display)
        return std::nullopt;
    // Made once, on the display the back end keeps for the life of the
    // process.
    static const Window window = DETAIL::X11::makeWindow(display);
    const Time now = DETAIL::X11::serverTime(display, window, kAnswerLimit);
    const auto answered = std::chrono::steady_clock::now();
    if (now == CurrentTime)
        return std::nullopt;
    const auto age = ageOfInput(platformTimestamp, static_cast<std::uint32_t>(now));
    if (!age)
        return std::nullopt;
    return answered - *age;
}

} // namespace QV::UIA::COCOA
