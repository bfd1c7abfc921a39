#pragma once

// The X server's clock, which stamps the events and the selections of every
// client of the display, in milliseconds that wrap at 2^32.
//
// Thread affinity: the thread that uses the display.

#include <X11/Xlib.h>

#include <chrono>

namespace QV::UIA::DETAIL::X11 {

// A window of the display's, never shown, that reports the changes of its
// properties, by which the server's time is read.
Window makeWindow(Display* display);

// The server's time now: that of a change of one of the window's properties,
// as the conventions between X clients ask for; CurrentTime when the server
// did not answer within `limit`. Events read meanwhile stay queued, in
// order, for whoever reads the display's events.
Time serverTime(Display* display, Window window, std::chrono::milliseconds limit);

} // namespace QV::UIA::DETAIL::X11
