// Compiled with AVX2 enabled; called only when the processor has it. Uses
// nothing but intrinsics and this file's own templates, so no compiled copy
// of a function shared with other files carries AVX2 instructions.
#pragma GCC target("avx2")

#include "PixelKernels.h"
#include "PixelRowsAvx2.h"

#include <immintrin.h>

namespace QV::UIA::DETAIL::PixelRowsAvx2 {

namespace {

struct Avx2
{
    using V = __m256i;
    using F = __m256;
    static constexpr std::size_t N = 8;

    static V load(const std::uint32_t* p) noexcept { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    static void store(std::uint32_t* p, V v) noexcept { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
    static V zero() noexcept { return _mm256_setzero_si256(); }
    static V set32(int v) noexcept { return _mm256_set1_epi32(v); }
    static V set16(short v) noexcept { return _mm256_set1_epi16(v); }
    static V and_(V a, V b) noexcept { return _mm256_and_si256(a, b); }
    static V andNot(V a, V b) noexcept { return _mm256_andnot_si256(a, b); }
    static V or_(V a, V b) noexcept { return _mm256_or_si256(a, b); }
    static V add16(V a, V b) noexcept { return _mm256_add_epi16(a, b); }
    static V sub16(V a, V b) noexcept { return _mm256_sub_epi16(a, b); }
    static V mul16(V a, V b) noexcept { return _mm256_mullo_epi16(a, b); }
    template <int n>
    static V srl16(V v) noexcept { return _mm256_srli_epi16(v, n); }
    template <int n>
    static V srl32(V v) noexcept { return _mm256_srli_epi32(v, n); }
    template <int n>
    static V sll32(V v) noexcept { return _mm256_slli_epi32(v, n); }
    static V unpackLow8(V a, V b) noexcept { return _mm256_unpacklo_epi8(a, b); }
    static V unpackHigh8(V a, V b) noexcept { return _mm256_unpackhi_epi8(a, b); }
    static V unpackLow32(V a, V b) noexcept { return _mm256_unpacklo_epi32(a, b); }
    static V unpackHigh32(V a, V b) noexcept { return _mm256_unpackhi_epi32(a, b); }
    static V pack16(V a, V b) noexcept { return _mm256_packus_epi16(a, b); }
    static V equal32(V a, V b) noexcept { return _mm256_cmpeq_epi32(a, b); }
    static bool allSet(V mask) noexcept { return _mm256_movemask_epi8(mask) == -1; }
    static F toFloat(V v) noexcept { return _mm256_cvtepi32_ps(v); }
    static V toInt(F v) noexcept { return _mm256_cvttps_epi32(v); }
    static F setF(float v) noexcept { return _mm256_set1_ps(v); }
    static F addF(F a, F b) noexcept { return _mm256_add_ps(a, b); }
    static F subF(F a, F b) noexcept { return _mm256_sub_ps(a, b); }
    static F mulF(F a, F b) noexcept { return _mm256_mul_ps(a, b); }
    static F divF(F a, F b) noexcept { return _mm256_div_ps(a, b); }
    static F minF(F a, F b) noexcept { return _mm256_min_ps(a, b); }
    static F zeroF(F v) noexcept { return _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_EQ_OQ); }
    static V castMask(F v) noexcept { return _mm256_castps_si256(v); }
};

} // namespace

std::size_t fill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    return PixelKernels::fill<Avx2>(dst, count, colour);
}

std::size_t overRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    return PixelKernels::overRow<Avx2>(dst, src, count);
}

std::size_t overFill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    return PixelKernels::overFill<Avx2>(dst, count, colour);
}

std::size_t blendRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    return PixelKernels::blend<Avx2>(dst, src, count);
}

std::size_t dyeRow(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept
{
    return PixelKernels::dye<Avx2>(dst, mask, count, dye);
}

} // namespace QV::UIA::DETAIL::PixelRowsAvx2
