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

// A JPEG file of a few kilobytes may describe any size, and libjpeg works
// for the size it is told: a progressive file keeps every coefficient of the
// picture (two bytes a sample) and goes over all of them once per scan. So
// the samples (width x height x components) are bounded before decoding
// starts; libjpeg's own memory is bounded, which refuses a progressive
// picture of more than some 22 megapixels in colour without chroma
// subsampling; and the scans are bounded so that a file of many empty scans
// costs no more than a few real scans over a large picture.
constexpr std::uint64_t kMaxJPEGSamples = std::uint64_t(1) << 27;
constexpr long kMaxJPEGMemory = 128L << 20;
constexpr int kMaxJPEGScans = 500;
constexpr std::uint64_t kJPEGScanWork = std::uint64_t(1) << 32;

inline bool acceptableJPEGSize(std::uint64_t width, std::uint64_t height, std::uint64_t components) noexcept
{
    return acceptablePictureSize(width, height) && width * height * components <= kMaxJPEGSamples;
}

// The scans a picture of that many samples may take: kMaxJPEGScans for
// small ones, fewer as each scan costs more.
inline int jpegScanLimit(std::uint64_t samples) noexcept
{
    const std::uint64_t limit = samples == 0 ? kMaxJPEGScans : kJPEGScanWork / samples;
    return limit < std::uint64_t(kMaxJPEGScans) ? int(limit) : kMaxJPEGScans;
}

// Whether a stream of `bytes` bytes can hold the pixels of a TGA file: as
// many pixels of `bytesPerPixel` bytes uncompressed, or run-length packets
// of one header byte and one pixel, each giving at most 128 pixels.
inline bool tgaDataCanFill(std::uint64_t pixels, std::uint64_t bytesPerPixel, bool runLength,
                           std::uint64_t bytes) noexcept
{
    const std::uint64_t needed = runLength ? (pixels + 127) / 128 * (1 + bytesPerPixel) : pixels * bytesPerPixel;
    return bytes >= needed;
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
