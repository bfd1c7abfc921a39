#include <QV/UIA/Application.h>
#include <QV/UIA/DisplayManager.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>

#include "DisplayLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace QV::UIA {

namespace {

struct DisplayState {
    bool initialized = false;
    std::vector<Display> displays;
    std::vector<GP::Rect> frames;
    GP::Rect bounds{0, 0, 1, 1};
    bool vertical = false;
};

DisplayState& state()
{
    static DisplayState s;
    return s;
}

// A platform coordinate as a pixel position: truncated toward zero, and held
// within 32 bits so that a screen of absurd size cannot overflow the
// conversion.
std::int32_t toPixel(double value) noexcept
{
    if (!std::isfinite(value))
        return 0;
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(std::trunc(value), low, high));
}

std::int32_t sum(std::int32_t a, std::int32_t b) noexcept
{
    const std::int64_t total = std::int64_t{a} + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(total, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

} // namespace

GP::Rect DETAIL::toLayerRect(const PlatformRect& rect, double primaryHeight) noexcept
{
    const std::int32_t left = toPixel(rect.x);
    const std::int32_t top = toPixel(primaryHeight - rect.y - rect.height);
    return {left, top, sum(left, toPixel(rect.width)), sum(top, toPixel(rect.height))};
}

Display DETAIL::toDisplay(const ScreenGeometry& screen, double primaryHeight) noexcept
{
    Display display;
    display.frame = toLayerRect(screen.frame, primaryHeight);
    display.visibleFrame = toLayerRect(screen.visibleFrame, primaryHeight);
    display.highResolution = screen.scaleFactor && std::fabs(*screen.scaleFactor - 1.0) > 0.001;
    display.secondFlag = true;
    return display;
}

bool DETAIL::isVerticalLayout(const std::vector<Display>& displays) noexcept
{
    // The comparison is made in unsigned 32-bit arithmetic, so that one test
    // covers both ends of the extent: a midpoint left of the display wraps
    // round to a large distance.
    std::int32_t midpoint = -1;
    for (const Display& display : displays) {
        const auto width = static_cast<std::uint32_t>(display.frame.right) - static_cast<std::uint32_t>(display.frame.left);
        if (static_cast<std::uint32_t>(midpoint) - static_cast<std::uint32_t>(display.frame.left) <= width)
            return true;
        midpoint = static_cast<std::int32_t>(std::int64_t{display.frame.left}
                                             + (std::int64_t{display.frame.right} - display.frame.left) / 2);
    }
    return false;
}

bool DisplayManager::init()
{
    DisplayState& s = state();
    if (!s.initialized) {
        s.initialized = true;
        DETAIL::startDisplayNotices();
        onDisplayChange();
    }
    return !s.displays.empty();
}

void DisplayManager::deInit()
{
    DisplayState& s = state();
    if (!s.initialized)
        return;
    s.initialized = false;
    s.displays.clear();
    s.frames.clear();
    DETAIL::stopDisplayNotices();
}

bool DisplayManager::isInitialized() noexcept
{
    return state().initialized;
}

void DisplayManager::onDisplayChange()
{
    DisplayState& s = state();
    s.displays.clear();
    s.frames.clear();
    s.bounds = {0, 0, 1, 1};
    const std::vector<DETAIL::ScreenGeometry> screens = DETAIL::platformScreens();
    // The primary screen's height is only read when there is a screen: the
    // platform may list none, for instance while its display is going away.
    if (screens.empty())
        return;
    const double primaryHeight = screens.front().frame.height;
    for (const DETAIL::ScreenGeometry& screen : screens) {
        const Display display = DETAIL::toDisplay(screen, primaryHeight);
        s.displays.push_back(display);
        s.bounds.left = std::min(s.bounds.left, display.frame.left);
        s.bounds.top = std::min(s.bounds.top, display.frame.top);
        s.bounds.right = std::max(s.bounds.right, display.frame.right);
        s.bounds.bottom = std::max(s.bounds.bottom, display.frame.bottom);
    }
    detectVerticalLayout();
    std::stable_sort(s.displays.begin(), s.displays.end(), Display::tSorter{s.vertical});
    for (const Display& display : s.displays)
        s.frames.push_back(display.frame);
}

void DisplayManager::detectVerticalLayout()
{
    state().vertical = DETAIL::isVerticalLayout(state().displays);
}

void DisplayManager::onTimerNotification()
{
    onDisplayChange();
    if (Application* application = Application::getApplication()) {
        EventData none;
        application->sendEvent(kEventDisplaysChanged, &none);
    }
}

const std::vector<Display>& DisplayManager::getDisplays() noexcept
{
    return state().displays;
}

const std::vector<GP::Rect>& DisplayManager::getScreens() noexcept
{
    return state().frames;
}

const GP::Rect& DisplayManager::getBounds() noexcept
{
    return state().bounds;
}

bool DisplayManager::isVerticalLayout() noexcept
{
    return state().vertical;
}

} // namespace QV::UIA
