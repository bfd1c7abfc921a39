#pragma once

#include <QV/GP/Rect.h>

#include <vector>

namespace QV::UIA {

// The list of screens. The application's init starts it and its deInit
// stops it. Notices of a changed display configuration are not followed yet:
// the list is built once, at init.
//
// Thread affinity: main thread.
class DisplayManager
{
public:
    DisplayManager() = delete;

    // Builds the list on the first call; every call answers whether it holds
    // a screen (false while no platform application with a display exists).
    static bool init();
    static void deInit();

    static bool isInitialized() noexcept;
    // Screen frames in top-left-origin screen coordinates, the primary first.
    static const std::vector<GP::Rect>& getScreens() noexcept;
};

} // namespace QV::UIA
