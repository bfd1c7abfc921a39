#pragma once

#include <QV/GP/Rect.h>

#include <cstddef>
#include <cstdint>

namespace QV::UIA {
class Picture;
}

namespace QV::UIA::DETAIL {

// The platform's bitmaps hold bytes red, green, blue, alpha; a picture holds
// words 0xAARRGGBB (bytes blue, green, red, alpha). These functions convert
// between them over a part of the picture and give the sizes a paint works
// with.
//
// Thread affinity: none.
class BitmapConversion
{
public:
    BitmapConversion() = delete;

    // Points that `pixels` backing pixels fill at `scale`, rounded to the
    // nearest point (halves away from zero) in 32-bit floats. A scale that
    // is not positive counts as 1.
    static std::int32_t pointsForPixels(std::int32_t pixels, float scale) noexcept;

    // The picture pixels behind an area in points at `scale`, grown to whole
    // pixels and cut to the picture's `width` x `height`; an empty area
    // stands for the whole picture.
    static GP::Rect pixelArea(const GP::Rect& points, float scale, std::int32_t width, std::int32_t height) noexcept;

    // Converts `area` of the picture (buffer coordinates, cut to the
    // picture) into `rgba`, a buffer of the picture's size with
    // `bytesPerRow` bytes per row. Without `alpha` every alpha byte is 255,
    // whatever the picture holds.
    static void toRGBA(const Picture& picture, const GP::Rect& area, std::uint8_t* rgba, std::size_t bytesPerRow,
                       bool alpha) noexcept;
    // The same into `rgba`, a buffer of the size of `area` cut to the
    // picture: its first byte takes the cut area's top left pixel.
    static void areaToRGBA(const Picture& picture, const GP::Rect& area, std::uint8_t* rgba, std::size_t bytesPerRow,
                           bool alpha) noexcept;
};

} // namespace QV::UIA::DETAIL
