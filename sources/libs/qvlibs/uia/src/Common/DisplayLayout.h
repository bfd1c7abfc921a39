#pragma once

// The portable half of the display list: turning the platform's screen
// rectangles (origin bottom-left of the primary screen, y up) into this
// layer's displays, and the platform's half that the display manager calls.

#include <QV/UIA/DisplayManager.h>

#include <optional>
#include <vector>

namespace QV::UIA::DETAIL {

// A rectangle as the platform gives it: origin at the bottom-left.
struct PlatformRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

struct ScreenGeometry {
    PlatformRect frame;
    PlatformRect visibleFrame;
    // Empty when the screen cannot tell its backing scale factor.
    std::optional<double> scaleFactor;
};

// Flips a platform rectangle against the primary screen's height; every
// value is truncated toward zero and kept within 32 bits.
GP::Rect toLayerRect(const PlatformRect& rect, double primaryHeight) noexcept;

Display toDisplay(const ScreenGeometry& screen, double primaryHeight) noexcept;

// Whether the midpoint of a display lies within the horizontal extent of the
// display after it, walking the list in its order.
bool isVerticalLayout(const std::vector<Display>& displays) noexcept;

// Implemented by the platform code.
// The screens in the platform's order, the primary first; empty without a
// display.
std::vector<ScreenGeometry> platformScreens();
// Starts and stops following the platform's notices of a changed display
// configuration; stopping drops the timers still pending.
void startDisplayNotices();
void stopDisplayNotices();

} // namespace QV::UIA::DETAIL
