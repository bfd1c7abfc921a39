#pragma once

#include <QV/GP/Rect.h>

#include <vector>

namespace QV::UIA {

// One screen, in this layer's screen coordinates: the origin is the top-left
// corner of the primary screen and y grows downwards.
struct Display {
    GP::Rect frame;
    // The part that the menu bar and the dock leave free.
    GP::Rect visibleFrame;
    // The screen's backing scale factor differs from 1.0.
    bool highResolution = false;
    bool secondFlag = true;

    // Orders displays top to bottom when they are stacked, else left to right.
    struct tSorter {
        bool vertical = false;
        bool operator()(const Display& a, const Display& b) const noexcept
        {
            return vertical ? a.frame.top < b.frame.top : a.frame.left < b.frame.left;
        }
    };
};

// The list of screens, and the notice of a changed display configuration.
// The application's init starts it and its deInit stops it. Every notice of
// the platform starts a one-shot timer of its own; when it fires, 1.0 s
// later, the list is built again and the application receives
// kEventDisplaysChanged. Timers run in the default, modal-panel and
// event-tracking modes, so they also fire while a panel or a menu runs its
// own loop.
//
// Thread affinity: main thread.
class DisplayManager
{
public:
    DisplayManager() = delete;

    // Builds the list and starts following notices on the first call; every
    // call answers whether the list holds a screen (false while no platform
    // application with a display exists).
    static bool init();
    // Stops following notices and drops the timers still pending, so no
    // kEventDisplaysChanged arrives afterwards; empties the list.
    static void deInit();

    static bool isInitialized() noexcept;

    // Builds the list again from the platform's screens.
    static void onDisplayChange();
    // Sets the vertical layout flag from the list in its current order: the
    // layout is vertical when the horizontal midpoint of a display lies
    // within the horizontal extent of the display after it.
    static void detectVerticalLayout();
    // What a pending timer does when it fires: rebuilds the list and tells
    // the application, when there is one.
    static void onTimerNotification();

    // Ordered by Display::tSorter.
    static const std::vector<Display>& getDisplays() noexcept;
    // Screen frames in the order of getDisplays().
    static const std::vector<GP::Rect>& getScreens() noexcept;
    // The union of all frames; (0, 0, 1, 1) without screens.
    static const GP::Rect& getBounds() noexcept;
    static bool isVerticalLayout() noexcept;
};

} // namespace QV::UIA
