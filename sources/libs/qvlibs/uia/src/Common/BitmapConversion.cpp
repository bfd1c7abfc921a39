#include "BitmapConversion.h"

#include <QV/UIA/Picture.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace QV::UIA::DETAIL {

std::int32_t BitmapConversion::pointsForPixels(std::int32_t pixels, float scale) noexcept
{
    if (!(scale > 0.0f))
        scale = 1.0f;
    return static_cast<std::int32_t>(std::round(static_cast<float>(pixels) / scale));
}

GP::Rect BitmapConversion::pixelArea(const GP::Rect& points, float scale, std::int32_t width,
                                     std::int32_t height) noexcept
{
    const GP::Rect whole{0, 0, std::max(0, width), std::max(0, height)};
    if (points.isEmpty())
        return whole;
    if (!(scale > 0.0f))
        scale = 1.0f;
    const auto clampedFloor = [](double v) { return static_cast<std::int32_t>(std::clamp(std::floor(v), -2e9, 2e9)); };
    const auto clampedCeil = [](double v) { return static_cast<std::int32_t>(std::clamp(std::ceil(v), -2e9, 2e9)); };
    const GP::Rect pixels{clampedFloor(points.left * double(scale)), clampedFloor(points.top * double(scale)),
                          clampedCeil(points.right * double(scale)), clampedCeil(points.bottom * double(scale))};
    return pixels.intersection(whole);
}

namespace {

// Converts `cut` (inside the picture) into rows that begin at `firstRow`.
void convertRows(const Picture& picture, const GP::Rect& cut, std::uint8_t* firstRow, std::size_t bytesPerRow,
                 bool alpha) noexcept
{
    const std::uint32_t forceAlpha = alpha ? 0u : 0xff000000u;
    for (std::int32_t y = cut.top; y < cut.bottom; ++y) {
        const std::uint32_t* from = picture.getRow(y) + cut.left;
        std::uint8_t* to = firstRow + std::size_t(y - cut.top) * bytesPerRow;
        for (std::int32_t x = cut.left; x < cut.right; ++x) {
            const std::uint32_t p = *from++ | forceAlpha;
            // 0xAARRGGBB to bytes R, G, B, A: swap red and blue.
            const std::uint32_t swapped = (p & 0xff00ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16);
            std::memcpy(to, &swapped, 4);
            to += 4;
        }
    }
}

} // namespace

void BitmapConversion::toRGBA(const Picture& picture, const GP::Rect& area, std::uint8_t* rgba,
                              std::size_t bytesPerRow, bool alpha) noexcept
{
    const GP::Rect cut = area.intersection({0, 0, picture.getWidth(), picture.getHeight()});
    if (cut.isEmpty() || !picture.getPixels() || !rgba)
        return;
    convertRows(picture, cut, rgba + std::size_t(cut.top) * bytesPerRow + std::size_t(cut.left) * 4, bytesPerRow,
                alpha);
}

void BitmapConversion::areaToRGBA(const Picture& picture, const GP::Rect& area, std::uint8_t* rgba,
                                  std::size_t bytesPerRow, bool alpha) noexcept
{
    const GP::Rect cut = area.intersection({0, 0, picture.getWidth(), picture.getHeight()});
    if (cut.isEmpty() || !picture.getPixels() || !rgba)
        return;
    convertRows(picture, cut, rgba, bytesPerRow, alpha);
}

} // namespace QV::UIA::DETAIL
