#pragma once

#include <cstddef>
#include <cstdint>

// Per-row pixel kernels shared by the picture's drawing operations and the
// combiner functors. Each kernel that works on several pixels at a time (four
// with SSE2, eight with AVX2 where the processor has it) also keeps its plain
// form under the same name with "Scalar": all forms must give the same words
// for every input, and the tests hold them to that. Source and destination
// rows never overlap.
namespace QV::UIA::DETAIL::PixelRows {

inline constexpr std::uint32_t kAlphaMask = 0xFF000000u;

inline std::uint32_t div255(std::uint32_t v) noexcept { return (v + (v >> 8) + 1) >> 8; }

// Straight-alpha "over" of the colour c onto the pixel d, for any alpha of c;
// an opaque c and a transparent c are not special here.
inline std::uint32_t over(std::uint32_t d, std::uint32_t c) noexcept
{
    const std::uint32_t a = c >> 24;
    const std::uint32_t t = (d >> 24) * (255 - a);
    std::uint32_t outA = (t + 127) / 255 + a;
    if (outA == 0)
        return 0;
    std::uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t dc = (d >> shift) & 0xFF;
        const std::uint32_t cc = (c >> shift) & 0xFF;
        std::uint32_t v = ((dc * t + 127) / 255 + cc * a + outA / 2) / outA;
        result |= (v > 255 ? 255 : v) << shift;
    }
    outA = outA > 255 ? 255 : outA;
    return result | (outA << 24);
}

// The older formula: colours mixed by 256 - a in eighths of bytes, alpha 0.
inline std::uint32_t overLegacy(std::uint32_t d, std::uint32_t c) noexcept
{
    const std::uint32_t a = c >> 24;
    const std::uint32_t w = 256 - a;
    std::uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8)
        result |= ((((d >> shift) & 0xFF) * w + ((c >> shift) & 0xFF) * a) >> 8) << shift;
    return result;
}

// Colour channels of d moved towards those of c by the weight m (0..255);
// alpha of d kept.
inline std::uint32_t mix(std::uint32_t d, std::uint32_t c, std::uint32_t m) noexcept
{
    std::uint32_t result = d & kAlphaMask;
    for (int shift = 0; shift < 24; shift += 8)
        result |= div255(((c >> shift) & 0xFF) * m + ((d >> shift) & 0xFF) * (255 - m)) << shift;
    return result;
}

// Whether the 256-bit forms are used where the processor has them (they are
// by default); answers the previous setting. For tests that hold each form
// to the plain one.
bool useAvx2(bool use) noexcept;
bool hasAvx2() noexcept;

// Opaque words stored as they are.
void fill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept;
void fillScalar(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept;

// A run of one colour of any alpha: opaque stored, transparent leaves the
// run, anything else composited by the formula the legacy flag picks.
void paint(std::uint32_t* dst, std::size_t count, std::uint32_t colour, bool legacy) noexcept;

// Each source word put over its destination: 255 copies, 0 leaves it.
void overRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;
void overRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;
// One colour with alpha strictly between 0 and 255 put over every pixel.
void overFill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept;
void overFillScalar(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept;

// Source copied with its alpha as weight, alpha of the source kept, for
// pictures that use the older formula.
void copyLegacyRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;

// Source blended by the product of source and destination alpha.
void blendRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;
void blendRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;

// The dye blended by the product of the mask's alpha and the dye's alpha.
void dyeRow(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept;
void dyeRowScalar(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept;

} // namespace QV::UIA::DETAIL::PixelRows
