#include "PixelRows.h"

#include <emmintrin.h>

namespace QV::UIA::DETAIL::PixelRows {

namespace {

// Four pixels from and to memory of any alignment.
inline __m128i load4(const std::uint32_t* p) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store4(std::uint32_t* p, __m128i v) noexcept { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Each pixel's alpha in all four 16-bit lanes of that pixel.
inline __m128i spreadAlpha16(__m128i v) noexcept
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
}

inline __m128i div255x16(__m128i v) noexcept
{
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, _mm_srli_epi16(v, 8)), _mm_set1_epi16(1)), 8);
}

// div255(c * m + d * (255 - m)) on 16-bit lanes of two pixels.
inline __m128i mix16(__m128i d, __m128i c, __m128i m) noexcept
{
    const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), m);
    return div255x16(_mm_add_epi16(_mm_mullo_epi16(c, m), _mm_mullo_epi16(d, inverse)));
}

// Puts the mixed colour channels together with the destination's alpha.
inline __m128i keepAlpha(__m128i mixed, __m128i d) noexcept
{
    const __m128i alpha = _mm_set1_epi32(int(kAlphaMask));
    return _mm_or_si128(_mm_andnot_si128(alpha, mixed), _mm_and_si128(alpha, d));
}

inline __m128 channel(__m128i v, int shift) noexcept
{
    return _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, shift), _mm_set1_epi32(0xFF)));
}

// Whole-number quotient of two whole numbers held exactly in floats. Both are
// below 2^24 here and the divisor times the quotient stays below that too, so
// the rounded quotient never reaches the next whole number: truncating it
// gives the integer division exactly.
inline __m128 quotient(__m128 n, __m128 d) noexcept { return _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_div_ps(n, d))); }

// The "over" formula on four pixels; c may be four copies of one colour.
inline __m128i over4(__m128i d, __m128i c) noexcept
{
    const __m128i a = _mm_srli_epi32(c, 24);
    const __m128 af = _mm_cvtepi32_ps(a);
    const __m128 k255 = _mm_set1_ps(255.0F);
    const __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(d, 24)), _mm_sub_ps(k255, af));
    const __m128 k127 = _mm_set1_ps(127.0F);
    const __m128 outA = _mm_add_ps(quotient(_mm_add_ps(t, k127), k255), af);
    const __m128 half = _mm_cvtepi32_ps(_mm_srli_epi32(_mm_cvttps_epi32(outA), 1));
    __m128i result = _mm_slli_epi32(_mm_cvttps_epi32(_mm_min_ps(outA, k255)), 24);
    for (int shift = 0; shift < 24; shift += 8) {
        const __m128 n = _mm_add_ps(_mm_add_ps(quotient(_mm_add_ps(_mm_mul_ps(channel(d, shift), t), k127), k255),
                                               _mm_mul_ps(channel(c, shift), af)),
                                    half);
        // A zero alpha gives no finite quotient; min() turns it into 255 and
        // the pixel is cleared below.
        const __m128i v = _mm_cvttps_epi32(_mm_min_ps(_mm_div_ps(n, outA), k255));
        result = _mm_or_si128(result, _mm_sll_epi32(v, _mm_cvtsi32_si128(shift)));
    }
    const __m128i zeroAlpha = _mm_castps_si128(_mm_cmpeq_ps(outA, _mm_setzero_ps()));
    result = _mm_andnot_si128(zeroAlpha, result);
    // Opaque colours are stored, transparent ones leave the pixel.
    const __m128i opaque = _mm_cmpeq_epi32(a, _mm_set1_epi32(255));
    const __m128i clear = _mm_cmpeq_epi32(a, _mm_setzero_si128());
    result = _mm_or_si128(_mm_andnot_si128(opaque, result), _mm_and_si128(opaque, c));
    return _mm_or_si128(_mm_andnot_si128(clear, result), _mm_and_si128(clear, d));
}

inline std::uint32_t overOrKeep(std::uint32_t d, std::uint32_t s) noexcept
{
    const std::uint32_t a = s >> 24;
    return a == 255 ? s : a == 0 ? d : over(d, s);
}

} // namespace

void fillScalar(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = colour;
}

void fill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    const __m128i v = _mm_set1_epi32(int(colour));
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        store4(dst + i, v);
        store4(dst + i + 4, v);
        store4(dst + i + 8, v);
        store4(dst + i + 12, v);
    }
    for (; i + 4 <= count; i += 4)
        store4(dst + i, v);
    fillScalar(dst + i, count - i, colour);
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
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = load4(src + i);
        const __m128i a = _mm_and_si128(s, _mm_set1_epi32(int(kAlphaMask)));
        // Runs of opaque or transparent pixels, the common case in pictures
        // with alpha, skip the arithmetic.
        const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_set1_epi32(int(kAlphaMask))));
        if (opaque == 0xFFFF) {
            store4(dst + i, s);
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128())) == 0xFFFF)
            continue;
        store4(dst + i, over4(load4(dst + i), s));
    }
    overRowScalar(dst + i, src + i, count - i);
}

void overFillScalar(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = over(dst[i], colour);
}

void overFill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    const __m128i c = _mm_set1_epi32(int(colour));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        store4(dst + i, over4(load4(dst + i), c));
    overFillScalar(dst + i, count - i, colour);
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
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = load4(src + i);
        const __m128i d = load4(dst + i);
        const __m128i sLow = _mm_unpacklo_epi8(s, zero);
        const __m128i sHigh = _mm_unpackhi_epi8(s, zero);
        const __m128i dLow = _mm_unpacklo_epi8(d, zero);
        const __m128i dHigh = _mm_unpackhi_epi8(d, zero);
        const __m128i mLow = div255x16(_mm_mullo_epi16(spreadAlpha16(sLow), spreadAlpha16(dLow)));
        const __m128i mHigh = div255x16(_mm_mullo_epi16(spreadAlpha16(sHigh), spreadAlpha16(dHigh)));
        const __m128i mixed = _mm_packus_epi16(mix16(dLow, sLow, mLow), mix16(dHigh, sHigh, mHigh));
        store4(dst + i, keepAlpha(mixed, d));
    }
    blendRowScalar(dst + i, src + i, count - i);
}

void dyeRowScalar(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept
{
    const std::uint32_t dyeAlpha = dye >> 24;
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = mix(dst[i], dye, div255((mask[i] >> 24) * dyeAlpha));
}

void dyeRow(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i dye16 = _mm_unpacklo_epi8(_mm_set1_epi32(int(dye)), zero);
    const __m128i dyeAlpha = _mm_set1_epi16(short(dye >> 24));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = load4(mask + i);
        const __m128i d = load4(dst + i);
        const __m128i mLow = div255x16(_mm_mullo_epi16(spreadAlpha16(_mm_unpacklo_epi8(s, zero)), dyeAlpha));
        const __m128i mHigh = div255x16(_mm_mullo_epi16(spreadAlpha16(_mm_unpackhi_epi8(s, zero)), dyeAlpha));
        const __m128i mixed = _mm_packus_epi16(mix16(_mm_unpacklo_epi8(d, zero), dye16, mLow),
                                               mix16(_mm_unpackhi_epi8(d, zero), dye16, mHigh));
        store4(dst + i, keepAlpha(mixed, d));
    }
    dyeRowScalar(dst + i, mask + i, count - i, dye);
}

} // namespace QV::UIA::DETAIL::PixelRows
