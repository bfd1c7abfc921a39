#include "WindowGeometry.h"

#include <QV/UIA/EventData.h>
#include <QV/UIA/WindowBase.h>

#include <algorithm>
#include <cmath>

namespace QV::UIA::DETAIL {

std::uint32_t WindowGeometry::styleMask(std::uint32_t style, std::uint32_t windowClass) noexcept
{
    std::uint32_t mask = 0;
    if (windowClass == kClassAlternativeWindow) {
        // Without a title bar or border there is neither title nor close
        // button.
        if (!(style & (WindowBase::kStyleNoTitleBar | WindowBase::kStyleBorderless))) {
            mask = kMaskTitled;
            if (style & WindowBase::kStyleCloseButton)
                mask |= kMaskClosable;
        }
        if (style & WindowBase::kStyleResizable)
            mask |= kMaskResizable;
        return mask;
    }
    if (!(style & WindowBase::kStyleBorderless)) {
        mask = kMaskTitled | kMaskClosable | kMaskMiniaturizable | kMaskResizable;
        if ((style & WindowBase::kStyleFixedSize) && !(style & WindowBase::kStyleResizable))
            mask &= ~kMaskResizable;
        if (style & WindowBase::kStyleNoTitleBar)
            mask &= ~kMaskTitled;
        if (style & WindowBase::kStyleNoCloseButton)
            mask &= ~kMaskClosable;
    }
    if (style & WindowBase::kStyleNonActivating)
        mask |= kMaskNonActivating;
    if (windowClass == kClassPanel || windowClass == kClassOverlayPanel)
        mask |= kMaskUtility;
    return mask;
}

WindowGeometry::eLevel WindowGeometry::level(std::uint32_t style, std::uint32_t windowClass) noexcept
{
    const bool panel = windowClass == kClassPanel || windowClass == kClassOverlayPanel;
    eLevel result = kLevelNormal;
    if (panel || (style & WindowBase::kStyleFloating))
        result = (style & WindowBase::kStylePopUpMenuLevel) ? kLevelPopUpMenu : kLevelFloating;
    if (style & WindowBase::kStyleScreenSaverLevel)
        result = kLevelScreenSaver;
    return result;
}

double WindowGeometry::primaryTop(double originY, double height) noexcept
{
    return static_cast<float>(originY + height);
}

GP::Rect WindowGeometry::fromPlatform(double x, double y, double width, double height, double top) noexcept
{
    const auto left = static_cast<std::int32_t>(std::trunc(x));
    const auto upper = static_cast<std::int32_t>(std::trunc(top - (y + height)));
    return {left, upper, left + static_cast<std::int32_t>(std::trunc(width)),
            upper + static_cast<std::int32_t>(std::trunc(height))};
}

double WindowGeometry::platformBottom(double top, double height, double primary) noexcept
{
    return primary - height - top;
}

bool WindowGeometry::limitContentSize(std::int32_t& width, std::int32_t& height,
                                      const ResizeProposalEventData& limits) noexcept
{
    std::int32_t w = width;
    std::int32_t h = height;
    if (limits.limits & ResizeProposalEventData::kMinimumValid) {
        w = std::max(w, limits.minWidth);
        h = std::max(h, limits.minHeight);
    }
    if (limits.limits & ResizeProposalEventData::kMaximumValid) {
        w = std::min(w, limits.maxWidth);
        h = std::min(h, limits.maxHeight);
    }
    const bool changed = w != width || h != height;
    width = w;
    height = h;
    return changed;
}

} // namespace QV::UIA::DETAIL
