#pragma once

#include <QV/GP/Rect.h>

#include <cstdint>

namespace QV::UIA {
struct ResizeProposalEventData;
}

namespace QV::UIA::DETAIL {

// The arithmetic of native windows that needs no platform: the style mask
// and level a creation style asks for, the turn between the platform's
// bottom-up screen coordinates and this layer's top-down ones, and the
// resize limits a window gives. Kept apart from the platform code so that it
// can be checked without a display.
//
// Thread affinity: none (pure functions).
class WindowGeometry
{
public:
    WindowGeometry() = delete;

    // The native window kinds (eWindowClass of the platform window).
    enum eWindowClass : std::uint32_t {
        kClassWindow = 0,
        kClassPanel = 1,
        kClassAlternativeWindow = 2,
        kClassOverlayPanel = 3,
    };

    // The platform's style-mask bits.
    static constexpr std::uint32_t kMaskTitled = 1;
    static constexpr std::uint32_t kMaskClosable = 2;
    static constexpr std::uint32_t kMaskMiniaturizable = 4;
    static constexpr std::uint32_t kMaskResizable = 8;
    static constexpr std::uint32_t kMaskUtility = 16;
    static constexpr std::uint32_t kMaskNonActivating = 128;

    enum eLevel : std::uint32_t {
        kLevelNormal,
        kLevelFloating,
        kLevelPopUpMenu,
        kLevelScreenSaver,
    };

    static std::uint32_t styleMask(std::uint32_t style, std::uint32_t windowClass) noexcept;
    static eLevel level(std::uint32_t style, std::uint32_t windowClass) noexcept;

    // The top of the primary screen in platform coordinates, as every
    // conversion uses it: origin y + height, rounded to a 32-bit float.
    static double primaryTop(double originY, double height) noexcept;
    // A platform rectangle (bottom-left origin) in this layer's screen
    // coordinates, truncated toward zero.
    static GP::Rect fromPlatform(double x, double y, double width, double height, double primaryTop) noexcept;
    // The platform's bottom y of a rectangle whose top is `top` here.
    static double platformBottom(double top, double height, double primaryTop) noexcept;

    // Applies the limits of an answered resize proposal to a content size;
    // true when that changed it.
    static bool limitContentSize(std::int32_t& width, std::int32_t& height,
                                 const ResizeProposalEventData& limits) noexcept;
};

} // namespace QV::UIA::DETAIL
