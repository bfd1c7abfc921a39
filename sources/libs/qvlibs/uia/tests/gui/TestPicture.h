#pragma once

#include <QV/UIA/Picture.h>

#include <cstdint>

namespace QV::UIA::Testing {

inline constexpr int kTestPictureWidth = 320;
inline constexpr int kTestPictureHeight = 200;

// The colour of each pixel tells where it is: red grows to the right, green
// downwards, and blue marks the quarter. The right half carries alpha
// values that a window without alpha blending must ignore.
inline std::uint32_t testPixel(int x, int y, int width, int height)
{
    const std::uint32_t red = std::uint32_t(x * 255 / (width - 1));
    const std::uint32_t green = std::uint32_t(y * 255 / (height - 1));
    const std::uint32_t blue = (x < width / 2 ? 0x40u : 0xc0u) + (y < height / 2 ? 0u : 0x20u);
    const std::uint32_t alpha = x < width / 2 ? 0xffu : std::uint32_t(x * 7) & 0xffu;
    return (alpha << 24) | (red << 16) | (green << 8) | blue;
}

inline void fillTestPicture(Picture& picture, int width, int height)
{
    picture.setSize(width, height, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.getRow(y)[x] = testPixel(x, y, width, height);
}

} // namespace QV::UIA::Testing
