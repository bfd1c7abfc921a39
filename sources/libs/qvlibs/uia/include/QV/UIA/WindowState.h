#pragma once

#include <QV/GP/Point.h>

#include <cstdint>

namespace QV::UIA {

// The saved state of a window, as an implementation gives and restores it.
struct WindowState {
    enum eState : std::uint32_t { kHidden = 0, kShown = 1, kMinimised = 2 };
    enum eKind : std::uint32_t { kPlainWindow = 3, kFloatingWindow = 4, kPanel = 5 };

    std::uint32_t state = kHidden;
    GP::Point position; // top-left of the frame, top-left-origin screen coordinates
    GP::Point size;     // content width and height
    std::int32_t reserved1 = 0; // kept for the host, not read or written here
    std::int32_t reserved2 = 0;
    std::uint32_t kind = kPlainWindow;
};

} // namespace QV::UIA
