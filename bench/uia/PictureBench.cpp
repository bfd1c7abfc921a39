// Picture operations over an 800 x 600 target, in ns per target pixel (the
// ns/px counter), each beside what pixman or libc does for the same pixels.
// Sources: opaque, partly transparent (every pixel a different alpha between
// 1 and 254, the costly case for both) and fully transparent.
//
// pixman works on premultiplied pixels, so its "over" has no division; ours
// keep straight alpha, whose "over" divides by the new alpha. Blending by
// the alpha product (BlendUsingAlpha) is the operation that corresponds in
// cost; copying with alpha (CopySource over an alpha source) is reported
// beside it.

#include <QV/UIA/PictureCombiner.h>

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>

namespace {

using QV::UIA::Picture;
namespace Functors = QV::UIA::PictureCombinerFunctors;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

enum Kind
{
    eOpaque,
    ePartly,
    eTransparent
};

void fillSource(Picture& p, Kind kind, bool alphaChannel)
{
    p.setSize(kWidth, kHeight, false);
    p.setAlphaChannel(alphaChannel);
    std::mt19937 random(3);
    std::uniform_int_distribution<std::uint32_t> alpha(1, 254), colour(0, 0xFFFFFF);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const std::uint32_t a = kind == eOpaque ? 255 : kind == eTransparent ? 0 : alpha(random);
        p.getPixels()[i] = a << 24 | colour(random);
    }
}

// Opaque, as a window's picture is, unless asked otherwise.
void fillTarget(Picture& p, std::uint32_t colour = 0xFF808080u)
{
    p.setSize(kWidth, kHeight, false);
    p.clear(colour);
}

void perPixel(benchmark::State& state)
{
    state.counters["ns/px"] = benchmark::Counter(double(kWidth) * kHeight / 1e9,
                                                 benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

template <typename Functor>
void BM_Put(benchmark::State& state)
{
    Picture source, target;
    fillSource(source, Kind(state.range(0)), state.range(1) != 0);
    fillTarget(target, std::uint32_t(state.range(2)));
    for (auto _ : state) {
        target.putPicture<Functor>(0, 0, source);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
constexpr std::int64_t kOpaqueTarget = 0xFF808080;
// Over a translucent target the copy with alpha divides by the new alpha.
constexpr std::int64_t kTranslucentTarget = 0x80808080;
BENCHMARK_TEMPLATE(BM_Put, Functors::BlendUsingAlpha)
    ->ArgNames({"source", "alpha", "target"})
    ->Args({eOpaque, 1, kOpaqueTarget})
    ->Args({ePartly, 1, kOpaqueTarget})
    ->Args({eTransparent, 1, kOpaqueTarget});
BENCHMARK_TEMPLATE(BM_Put, Functors::CopySource)
    ->ArgNames({"source", "alpha", "target"})
    ->Args({eOpaque, 1, kOpaqueTarget})
    ->Args({ePartly, 1, kOpaqueTarget})
    ->Args({eTransparent, 1, kOpaqueTarget})
    ->Args({ePartly, 1, kTranslucentTarget})
    ->Args({ePartly, 0, kOpaqueTarget});

void BM_Dye(benchmark::State& state)
{
    Picture mask, target;
    fillSource(mask, Kind(state.range(0)), true);
    fillTarget(target);
    Functors::DyeUsingAlphaMask dye(0xC0336699u);
    QV::UIA::PictureCombiner<Functors::DyeUsingAlphaMask> combiner(target, dye);
    for (auto _ : state) {
        combiner.combine(0, 0, kWidth, kHeight, mask, 0, 0);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_Dye)->ArgNames({"source"})->Arg(ePartly);

// pixman's premultiplied over (and plain copy, for the copy without alpha) of
// the same pixels.
void BM_PixmanComposite(benchmark::State& state)
{
    Picture source, target;
    fillSource(source, Kind(state.range(0)), true);
    fillTarget(target);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const std::uint32_t p = source.getPixels()[i];
        const std::uint32_t a = p >> 24;
        std::uint32_t q = p & 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8)
            q |= ((((p >> shift) & 0xFF) * a + 127) / 255) << shift;
        source.getPixels()[i] = q;
    }
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, source.getPixels(), kWidth * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, target.getPixels(), kWidth * 4);
    const auto op = state.range(1) != 0 ? PIXMAN_OP_OVER : PIXMAN_OP_SRC;
    for (auto _ : state) {
        pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    perPixel(state);
}
BENCHMARK(BM_PixmanComposite)
    ->ArgNames({"source", "over"})
    ->Args({eOpaque, 1})
    ->Args({ePartly, 1})
    ->Args({eTransparent, 1})
    ->Args({ePartly, 0});

void BM_Fill(benchmark::State& state)
{
    Picture target;
    fillTarget(target);
    const auto colour = std::uint32_t(state.range(0));
    for (auto _ : state) {
        target.fillArea(0, 0, kWidth, kHeight, colour);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_Fill)->ArgNames({"colour"})->Arg(0xFF336699)->Arg(0x80336699);

void BM_Memset(benchmark::State& state)
{
    Picture target;
    fillTarget(target);
    for (auto _ : state) {
        std::memset(target.getPixels(), 0x5A, std::size_t(kWidth) * kHeight * 4);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_Memset);

// A whole window drawn from a 24 x 24 resizable picture with borders of 8:
// corners once, edges and centre repeated.
void BM_NineCells(benchmark::State& state)
{
    Picture knob, target;
    knob.setSize(24, 24, false);
    std::mt19937 random(9);
    for (int i = 0; i < 24 * 24; ++i)
        knob.getPixels()[i] = (state.range(0) != 0 ? 0xC0000000u : 0xFF000000u) | (random() & 0xFFFFFF);
    knob.setAlphaChannel(state.range(0) != 0);
    knob.setVertResizable(true);
    knob.setHorzResizable(true);
    knob.setFixedTop(8);
    knob.setFixedBottom(8);
    knob.setFixedLeft(8);
    knob.setFixedRight(8);
    knob.initEmptyAreaFlags();
    fillTarget(target);
    for (auto _ : state) {
        target.putStretched<Functors::CopySource>({0, 0, kWidth, kHeight}, knob);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_NineCells)->ArgNames({"alpha"})->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
