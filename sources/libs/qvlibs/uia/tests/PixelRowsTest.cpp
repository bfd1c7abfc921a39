#include "PixelRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace Rows = QV::UIA::DETAIL::PixelRows;

namespace {

std::uint32_t argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return a << 24 | r << 16 | g << 8 | b;
}

std::uint32_t channel(std::uint32_t p, int shift) { return (p >> shift) & 0xFF; }

// Every pair of source and destination alpha, with colour channels that
// differ from pixel to pixel; 65536 pixels, so the rows run through the
// four-pixel paths and end in a tail of three.
struct AlphaPairs
{
    AlphaPairs()
    {
        std::mt19937 random(7);
        for (std::uint32_t a = 0; a < 256; ++a)
            for (std::uint32_t da = 0; da < 256; ++da) {
                src.push_back(a << 24 | (random() & 0xFFFFFF));
                dst.push_back(da << 24 | (random() & 0xFFFFFF));
            }
        src.resize(src.size() - 1);
        dst.resize(dst.size() - 1);
    }
    std::vector<std::uint32_t> src, dst;
};

void checkWidePaths();

} // namespace

TEST(PixelRowsTest, FormulasAgainstFloatingPoint)
{
    const AlphaPairs pairs;
    for (std::size_t i = 0; i < pairs.src.size(); ++i) {
        const std::uint32_t s = pairs.src[i];
        const std::uint32_t d = pairs.dst[i];
        const double a = s >> 24;
        const double da = d >> 24;

        // Blending by the product of the alphas; the destination alpha stays.
        // The weight is a whole number within 1 of the exact product, and
        // the colours are held to the reference with that weight.
        const std::uint32_t weight = Rows::div255(std::uint32_t(a * da));
        ASSERT_LE(std::fabs(weight - a * da / 255.0), 1.0);
        std::vector<std::uint32_t> row{d};
        Rows::blendRow(row.data(), &s, 1);
        const std::uint32_t blended = row[0];
        const double m = weight;
        for (int shift = 0; shift < 24; shift += 8) {
            const double want = (channel(s, shift) * m + channel(d, shift) * (255 - m)) / 255.0;
            ASSERT_LE(std::fabs(channel(blended, shift) - want), 1.0) << std::hex << s << " on " << d;
        }
        ASSERT_EQ(blended >> 24, d >> 24);

        // Straight-alpha over. The colours are divided by the alpha as
        // stored, whole, so they are held to the reference with that alpha.
        const std::uint32_t over = Rows::over(d, s);
        const double outA = a + da * (255 - a) / 255.0;
        ASSERT_LE(std::fabs((over >> 24) - outA), 1.0);
        if (outA < 1.0)
            continue;
        for (int shift = 0; shift < 24; shift += 8) {
            const double want = std::min(
                255.0, (channel(s, shift) * a + channel(d, shift) * da * (255 - a) / 255.0) / double(over >> 24));
            ASSERT_LE(std::fabs(channel(over, shift) - want), 1.0) << std::hex << s << " on " << d;
        }
    }

    // Half-transparent red on opaque white; the older formula drops alpha.
    EXPECT_EQ(Rows::over(0xFFFFFFFFu, 0x80FF0000u), argb(255, 255, 127, 127));
    EXPECT_EQ(Rows::overLegacy(0xFFFFFFFFu, 0x80FF0000u), argb(0, 255, 127, 127));
    // Transparent on transparent gives 0; on anything else nothing changes.
    EXPECT_EQ(Rows::over(0x00123456u, 0x00FFFFFFu), 0u);
    EXPECT_EQ(Rows::over(0x80123456u, 0x00FFFFFFu), 0x80123456u);
}

TEST(PixelRowsTest, WidePathsEqualThePlainOnes)
{
    for (bool avx2 : {false, true}) {
        if (avx2 && !Rows::hasAvx2())
            continue;
        SCOPED_TRACE(avx2 ? "AVX2" : "SSE2");
        const bool before = Rows::useAvx2(avx2);
        checkWidePaths();
        Rows::useAvx2(before);
    }
}

namespace {

void checkWidePaths()
{
    const AlphaPairs pairs;
    const std::size_t n = pairs.src.size();
    auto check = [&](auto&& fast, auto&& plain, const char* what) {
        std::vector<std::uint32_t> a = pairs.dst, b = pairs.dst;
        fast(a.data());
        plain(b.data());
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(a[i], b[i]) << what << " at " << i << std::hex << ": " << pairs.src[i] << " on " << pairs.dst[i];
    };
    check([&](std::uint32_t* d) { Rows::overRow(d, pairs.src.data(), n); },
          [&](std::uint32_t* d) { Rows::overRowScalar(d, pairs.src.data(), n); }, "over");
    check([&](std::uint32_t* d) { Rows::blendRow(d, pairs.src.data(), n); },
          [&](std::uint32_t* d) { Rows::blendRowScalar(d, pairs.src.data(), n); }, "blend");
    // Runs where both pictures are opaque take the source's colours whole.
    std::vector<std::uint32_t> opaqueSrc = pairs.src, wide = pairs.dst, plain = pairs.dst;
    for (std::size_t i = 0; i < n; ++i) {
        opaqueSrc[i] |= 0xFF000000u;
        wide[i] = plain[i] = pairs.dst[i] | 0xFF000000u;
    }
    Rows::blendRow(wide.data(), opaqueSrc.data(), n);
    Rows::blendRowScalar(plain.data(), opaqueSrc.data(), n);
    EXPECT_EQ(wide, plain);
    EXPECT_EQ(wide, opaqueSrc);
    // Over an opaque destination the wide forms take a path of their own.
    for (std::size_t i = 0; i < n; ++i)
        wide[i] = plain[i] = pairs.dst[i] | 0xFF000000u;
    Rows::overRow(wide.data(), pairs.src.data(), n);
    Rows::overRowScalar(plain.data(), pairs.src.data(), n);
    EXPECT_EQ(wide, plain);
    for (std::uint32_t a = 1; a < 255; a += 9) {
        Rows::overFill(wide.data(), n, a << 24 | 0xC3A5F0u);
        Rows::overFillScalar(plain.data(), n, a << 24 | 0xC3A5F0u);
    }
    EXPECT_EQ(wide, plain);

    for (std::uint32_t colour : {0x01FFFFFFu, 0x80336699u, 0xFE010203u, 0xFFABCDEFu}) {
        check([&](std::uint32_t* d) { Rows::dyeRow(d, pairs.src.data(), n, colour); },
              [&](std::uint32_t* d) { Rows::dyeRowScalar(d, pairs.src.data(), n, colour); }, "dye");
        check([&](std::uint32_t* d) { Rows::fill(d + 1, n - 1, colour); },
              [&](std::uint32_t* d) { Rows::fillScalar(d + 1, n - 1, colour); }, "fill");
    }
    for (std::uint32_t a = 1; a < 255; a += 7)
        check([&](std::uint32_t* d) { Rows::overFill(d, n, a << 24 | 0x5A3C96u); },
              [&](std::uint32_t* d) { Rows::overFillScalar(d, n, a << 24 | 0x5A3C96u); }, "over fill");
}

} // namespace
