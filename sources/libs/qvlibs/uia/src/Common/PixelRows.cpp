#include "PixelRows.h"

#include "PixelKernels.h"
#include "PixelRowsAvx2.h"

#include <emmintrin.h>

#include <atomic>

namespace QV::UIA::DETAIL::PixelRows {

namespace {

struct Sse2
{
    using V = __m128i;
    using F = __m128;
    static constexpr std::size_t N = 4;

    static V load(const std::uint32_t* p) noexcept { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
    static void store(std::uint32_t* p, V v) noexcept { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
    static V zero() noexcept { return _mm_setzero_si128(); }
    static V set32(int v) noexcept { return _mm_set1_epi32(v); }
    static V set16(short v) noexcept { return _mm_set1_epi16(v); }
    static V and_(V a, V b) noexcept { return _mm_and_si128(a, b); }
    static V andNot(V a, V b) noexcept { return _mm_andnot_si128(a, b); }
    static V or_(V a, V b) noexcept { return _mm_or_si128(a, b); }
    static V add16(V a, V b) noexcept { return _mm_add_epi16(a, b); }
    static V sub16(V a, V b) noexcept { return _mm_sub_epi16(a, b); }
    static V mul16(V a, V b) noexcept { return _mm_mullo_epi16(a, b); }
    template <int n>
    static V srl16(V v) noexcept { return _mm_srli_epi16(v, n); }
    template <int n>
    static V srl32(V v) noexcept { return _mm_srli_epi32(v, n); }
    template <int n>
    static V sll32(V v) noexcept { return _mm_slli_epi32(v, n); }
    static V unpackLow8(V a, V b) noexcept { return _mm_unpacklo_epi8(a, b); }
    static V unpackHigh8(V a, V b) noexcept { return _mm_unpackhi_epi8(a, b); }
    static V unpackLow32(V a, V b) noexcept { return _mm_unpacklo_epi32(a, b); }
    static V unpackHigh32(V a, V b) noexcept { return _mm_unpackhi_epi32(a, b); }
    static V pack16(V a, V b) noexcept { return _mm_packus_epi16(a, b); }
    static V equal32(V a, V b) noexcept { return _mm_cmpeq_epi32(a, b); }
    static bool allSet(V mask) noexcept { return _mm_movemask_epi8(mask) == 0xFFFF; }
    static F toFloat(V v) noexcept { return _mm_cvtepi32_ps(v); }
    static V toInt(F v) noexcept { return _mm_cvttps_epi32(v); }
    static F setF(float v) noexcept { return _mm_set1_ps(v); }
    static F addF(F a, F b) noexcept { return _mm_add_ps(a, b); }
    static F subF(F a, F b) noexcept { return _mm_sub_ps(a, b); }
    static F mulF(F a, F b) noexcept { return _mm_mul_ps(a, b); }
    static F divF(F a, F b) noexcept { return _mm_div_ps(a, b); }
    static F minF(F a, F b) noexcept { return _mm_min_ps(a, b); }
    static F zeroF(F v) noexcept { return _mm_cmpeq_ps(v, _mm_setzero_ps()); }
    static V castMask(F v) noexcept { return _mm_castps_si128(v); }
};

bool detectAvx2() noexcept
{
    __builtin_cpu_init(); // static initialisation may run before the library's own
    return __builtin_cpu_supports("avx2") != 0;
}

const bool kHasAvx2 = detectAvx2();
std::atomic<bool> g_useAvx2{kHasAvx2};

bool avx2() noexcept { return g_useAvx2.load(std::memory_order_relaxed); }

inline std::uint32_t overOrKeep(std::uint32_t d, std::uint32_t s) noexcept
{
    const std::uint32_t a = s >> 24;
    return a == 255 ? s : a == 0 ? d : over(d, s);
}

} // namespace

bool hasAvx2() noexcept
{
    return kHasAvx2;
}

bool useAvx2(bool use) noexcept
{
    return g_useAvx2.exchange(use && kHasAvx2);
}

void fillScalar(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = colour;
}

void fill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    const std::size_t done =
        avx2() ? PixelRowsAvx2::fill(dst, count, colour) : PixelKernels::fill<Sse2>(dst, count, colour);
    fillScalar(dst + done, count - done, colour);
}

void paint(std::uint32_t* dst, std::size_t count, std::uint32_t colour, bool legacy) noexcept
{
    const std::uint32_t a = colour >> 24;
    if (a == 255)
        fill(dst, count, colour);
    else if (a == 0)
        return;
    else if (legacy)
        for (std::size_t i = 0; i < count; ++i)
            dst[i] = overLegacy(dst[i], colour);
    else
        overFill(dst, count, colour);
}

void overRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = overOrKeep(dst[i], src[i]);
}

void overRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    const std::size_t done =
        avx2() ? PixelRowsAvx2::overRow(dst, src, count) : PixelKernels::overRow<Sse2>(dst, src, count);
    overRowScalar(dst + done, src + done, count - done);
}

void overFillScalar(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = over(dst[i], colour);
}

void overFill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    const std::size_t done =
        avx2() ? PixelRowsAvx2::overFill(dst, count, colour) : PixelKernels::overFill<Sse2>(dst, count, colour);
    overFillScalar(dst + done, count - done, colour);
}

void copyLegacyRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t s = src[i];
        const std::uint32_t a = s >> 24;
        if (a == 255) {
            dst[i] = s;
        } else if (a != 0) {
            const std::uint32_t d = dst[i];
            std::uint32_t result = s & kAlphaMask;
            for (int shift = 0; shift < 24; shift += 8)
                result |= ((((s >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * (255 - a)) >> 8) << shift;
            dst[i] = result;
        }
    }
}

void blendRowScalar(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = mix(dst[i], src[i], div255((src[i] >> 24) * (dst[i] >> 24)));
}

void blendRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    const std::size_t done =
        avx2() ? PixelRowsAvx2::blendRow(dst, src, count) : PixelKernels::blend<Sse2>(dst, src, count);
    blendRowScalar(dst + done, src + done, count - done);
}

void dyeRowScalar(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept
{
    const std::uint32_t dyeAlpha = dye >> 24;
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = mix(dst[i], dye, div255((mask[i] >> 24) * dyeAlpha));
}

void dyeRow(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept
{
    const std::size_t done =
        avx2() ? PixelRowsAvx2::dyeRow(dst, mask, count, dye) : PixelKernels::dye<Sse2>(dst, mask, count, dye);
    dyeRowScalar(dst + done, mask + done, count - done, dye);
}

} // namespace QV::UIA::DETAIL::PixelRows
