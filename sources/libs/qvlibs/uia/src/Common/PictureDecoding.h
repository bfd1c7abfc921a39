#pragma once

#include <QV/UIA/Picture.h>

#include <csetjmp>
#include <cstdint>

namespace QV::UIA::DETAIL {

// The largest picture a file may describe. Pictures of this program are
// small; the limits only keep a damaged or hostile header from asking for
// gigabytes before a single pixel has been read.
constexpr std::uint32_t kMaxPictureSide = 16384;
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(1) << 26;

inline bool acceptablePictureSize(std::uint64_t width, std::uint64_t height) noexcept
{
    return width <= kMaxPictureSide && height <= kMaxPictureSide && width * height <= kMaxPicturePixels;
}

// Runs one step of work inside a C library that reports errors by longjmp to
// `jump`, and answers false when it jumped back. The jump unwinds only the
// library's frames and the step's own, so the step must not construct
// anything with a destructor; objects it uses are made by the caller before
// and live on after it.
template <typename Step>
bool runGuarded(std::jmp_buf& jump, Step&& step)
{
    if (setjmp(jump) != 0)
        return false;
    step();
    return true;
}

// Whether any pixel of the picture has an alpha below 255.
bool hasTranslucentPixel(const Picture& picture) noexcept;

} // namespace QV::UIA::DETAIL
