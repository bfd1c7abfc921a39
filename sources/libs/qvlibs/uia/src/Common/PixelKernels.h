#pragma once

#include <cstddef>
#include <cstdint>

// The bodies of the wide pixel kernels, written once over a set of vector
// operations (Ops) and compiled for each instruction set the library carries:
// 128-bit SSE2 everywhere, 256-bit AVX2 in its own translation unit. Each
// kernel handles as many whole vectors as the count holds and returns how
// many pixels that was; the caller finishes the rest with the plain form.
//
// Ops supplies: the vector type V and float vector F, its pixel count N, and
// load, store, zero, set32, set16, and, andNot, or, add16, sub16, mul16,
// srl16<n>, srl32<n>, sll32<n>, unpackLow8, unpackHigh8, unpackLow32,
// unpackHigh32, pack16, equal32, allSet, toFloat, toInt, setF, addF, subF,
// mulF, divF, minF, zeroF (mask of lanes equal to 0) and castMask.
//
// Everything here is a template instantiated with Ops types private to each
// translation unit, so no compiled copy is shared between instruction sets.
namespace QV::UIA::DETAIL::PixelKernels {

// div255 on 16-bit lanes: (v + (v >> 8) + 1) >> 8.
template <class Ops>
inline typename Ops::V div255(typename Ops::V v) noexcept
{
    return Ops::template srl16<8>(Ops::add16(Ops::add16(v, Ops::template srl16<8>(v)), Ops::set16(1)));
}

// div255(c * m + d * (255 - m) + bias) on the 16-bit lanes of half the
// pixels; the sum stays below 65535, where div255 is the exact quotient.
template <class Ops>
inline typename Ops::V mix16(typename Ops::V d, typename Ops::V c, typename Ops::V m, typename Ops::V bias) noexcept
{
    return div255<Ops>(
        Ops::add16(Ops::add16(Ops::mul16(c, m), Ops::mul16(d, Ops::sub16(Ops::set16(255), m))), bias));
}

// Colours of d mixed towards those of c by the per-pixel weights m (one per
// 32-bit lane, 0..255), bias added before dividing by 255; the alpha of d
// kept.
template <class Ops>
inline typename Ops::V mixPixels(typename Ops::V d, typename Ops::V c, typename Ops::V m, short bias = 0) noexcept
{
    using V = typename Ops::V;
    const V zero = Ops::zero();
    const V b = Ops::set16(bias);
    const V m2 = Ops::or_(m, Ops::template sll32<16>(m));
    const V low = mix16<Ops>(Ops::unpackLow8(d, zero), Ops::unpackLow8(c, zero), Ops::unpackLow32(m2, m2), b);
    const V high = mix16<Ops>(Ops::unpackHigh8(d, zero), Ops::unpackHigh8(c, zero), Ops::unpackHigh32(m2, m2), b);
    const V alpha = Ops::set32(int(0xFF000000u));
    return Ops::or_(Ops::andNot(alpha, Ops::pack16(low, high)), Ops::and_(alpha, d));
}

// The weight div255(a * b) of two alpha vectors, one per 32-bit lane.
template <class Ops>
inline typename Ops::V weight(typename Ops::V a, typename Ops::V b) noexcept
{
    return div255<Ops>(Ops::mul16(a, b));
}

template <class Ops>
std::size_t blend(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    using V = typename Ops::V;
    std::size_t i = 0;
    for (; i + Ops::N <= count; i += Ops::N) {
        const V s = Ops::load(src + i);
        const V d = Ops::load(dst + i);
        const V m = weight<Ops>(Ops::template srl32<24>(s), Ops::template srl32<24>(d));
        // A weight of 0 leaves the pixels; 255 takes the source's colours.
        if (Ops::allSet(Ops::equal32(m, Ops::zero())))
            continue;
        if (Ops::allSet(Ops::equal32(m, Ops::set32(255)))) {
            const V alpha = Ops::set32(int(0xFF000000u));
            Ops::store(dst + i, Ops::or_(Ops::andNot(alpha, s), Ops::and_(alpha, d)));
            continue;
        }
        Ops::store(dst + i, mixPixels<Ops>(d, s, m));
    }
    return i;
}

template <class Ops>
std::size_t dye(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t colour) noexcept
{
    using V = typename Ops::V;
    const V c = Ops::set32(int(colour));
    const V dyeAlpha = Ops::set32(int(colour >> 24));
    std::size_t i = 0;
    for (; i + Ops::N <= count; i += Ops::N) {
        const V m = weight<Ops>(Ops::template srl32<24>(Ops::load(mask + i)), dyeAlpha);
        if (Ops::allSet(Ops::equal32(m, Ops::zero())))
            continue;
        Ops::store(dst + i, mixPixels<Ops>(Ops::load(dst + i), c, m));
    }
    return i;
}

template <class Ops>
std::size_t fill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    const typename Ops::V v = Ops::set32(int(colour));
    std::size_t i = 0;
    for (; i + 4 * Ops::N <= count; i += 4 * Ops::N) {
        Ops::store(dst + i, v);
        Ops::store(dst + i + Ops::N, v);
        Ops::store(dst + i + 2 * Ops::N, v);
        Ops::store(dst + i + 3 * Ops::N, v);
    }
    for (; i + Ops::N <= count; i += Ops::N)
        Ops::store(dst + i, v);
    return i;
}

// One colour channel of each pixel as a float.
template <class Ops, int Shift>
inline typename Ops::F channel(typename Ops::V v) noexcept
{
    return Ops::toFloat(Ops::and_(Ops::template srl32<Shift>(v), Ops::set32(0xFF)));
}

// Whole-number quotient of whole numbers held exactly in floats. Both stay
// below 2^24 and so does the divisor times the quotient plus one, so the
// rounded quotient never reaches the next whole number: truncating it gives
// the integer division exactly. (Multiplying by a reciprocal and correcting
// the estimate measured slower than dividing.)
template <class Ops>
inline typename Ops::F quotient(typename Ops::F n, typename Ops::F d) noexcept
{
    return Ops::toFloat(Ops::toInt(Ops::divF(n, d)));
}

template <class Ops, int Shift>
inline typename Ops::V overChannel(typename Ops::V d, typename Ops::V c, typename Ops::F t, typename Ops::F a,
                                   typename Ops::F outA, typename Ops::F half) noexcept
{
    using F = typename Ops::F;
    const F k255 = Ops::setF(255.0F);
    const F dt = quotient<Ops>(Ops::addF(Ops::mulF(channel<Ops, Shift>(d), t), Ops::setF(127.0F)), k255);
    const F n = Ops::addF(Ops::addF(dt, Ops::mulF(channel<Ops, Shift>(c), a)), half);
    // A zero alpha gives no finite quotient; the minimum turns it into 255
    // and the caller clears such pixels.
    return Ops::template sll32<Shift>(Ops::toInt(Ops::minF(Ops::divF(n, outA), k255)));
}

// The straight-alpha "over" of c onto d: opaque c stored, transparent c
// leaves d, anything between by the formula.
template <class Ops>
inline typename Ops::V over(typename Ops::V d, typename Ops::V c) noexcept
{
    using V = typename Ops::V;
    using F = typename Ops::F;
    const V a = Ops::template srl32<24>(c);
    const F af = Ops::toFloat(a);
    const F k255 = Ops::setF(255.0F);
    const F t = Ops::mulF(Ops::toFloat(Ops::template srl32<24>(d)), Ops::subF(k255, af));
    const F outA = Ops::addF(quotient<Ops>(Ops::addF(t, Ops::setF(127.0F)), k255), af);
    const F half = Ops::toFloat(Ops::template srl32<1>(Ops::toInt(outA)));
    V result = Ops::template sll32<24>(Ops::toInt(Ops::minF(outA, k255)));
    result = Ops::or_(result, overChannel<Ops, 0>(d, c, t, af, outA, half));
    result = Ops::or_(result, overChannel<Ops, 8>(d, c, t, af, outA, half));
    result = Ops::or_(result, overChannel<Ops, 16>(d, c, t, af, outA, half));
    result = Ops::andNot(Ops::castMask(Ops::zeroF(outA)), result);
    const V opaque = Ops::equal32(a, Ops::set32(255));
    const V clear = Ops::equal32(a, Ops::zero());
    result = Ops::or_(Ops::andNot(opaque, result), Ops::and_(opaque, c));
    return Ops::or_(Ops::andNot(clear, result), Ops::and_(clear, d));
}

template <class Ops>
std::size_t overRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept
{
    using V = typename Ops::V;
    const V alpha = Ops::set32(int(0xFF000000u));
    std::size_t i = 0;
    for (; i + Ops::N <= count; i += Ops::N) {
        const V s = Ops::load(src + i);
        const V a = Ops::and_(s, alpha);
        // Runs of opaque or transparent pixels, the common case in pictures
        // with alpha, skip the arithmetic.
        if (Ops::allSet(Ops::equal32(a, alpha))) {
            Ops::store(dst + i, s);
            continue;
        }
        if (Ops::allSet(Ops::equal32(a, Ops::zero())))
            continue;
        const V d = Ops::load(dst + i);
        // Over an opaque destination the new alpha is 255 and the formula
        // comes down to div255(s * a + d * (255 - a) + 127): no division by
        // a varying alpha.
        if (Ops::allSet(Ops::equal32(Ops::and_(d, alpha), alpha))) {
            Ops::store(dst + i, mixPixels<Ops>(d, s, Ops::template srl32<24>(s), 127));
            continue;
        }
        Ops::store(dst + i, over<Ops>(d, s));
    }
    return i;
}

template <class Ops>
std::size_t overFill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept
{
    using V = typename Ops::V;
    const V c = Ops::set32(int(colour));
    const V a = Ops::set32(int(colour >> 24));
    const V alpha = Ops::set32(int(0xFF000000u));
    std::size_t i = 0;
    for (; i + Ops::N <= count; i += Ops::N) {
        const V d = Ops::load(dst + i);
        if (Ops::allSet(Ops::equal32(Ops::and_(d, alpha), alpha)))
            Ops::store(dst + i, mixPixels<Ops>(d, c, a, 127)); // as in overRow
        else
            Ops::store(dst + i, over<Ops>(d, c));
    }
    return i;
}

} // namespace QV::UIA::DETAIL::PixelKernels
