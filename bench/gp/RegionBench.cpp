// Region operations on random rectangle sets, each beside pixman's
// pixman_region32_* on the same rectangles. The first argument is the number
// of rectangles in each operand's set (inside a 1000 x 1000 field, sides up
// to 100). The second is how many different pairs of operands the iterations
// go round: with one pair the processor's branch predictors learn the whole
// operation after a few runs, which no program that does real work sees, so
// the figures that count are those with 16 pairs; both are reported. Regions
// have no subtraction of their own; it is measured as the intersection with
// the operand's complement in its frame, built beforehand, which is how a
// caller would subtract.

#include <QV/GP/Region.h>

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using QV::GP::Rect;
using QV::GP::Region;

std::vector<Rect> randomRects(std::mt19937& random, int count)
{
    std::uniform_int_distribution<int> pos(0, 999), size(1, 100);
    std::vector<Rect> rects(std::size_t(count), Rect{});
    for (Rect& r : rects) {
        r.left = pos(random);
        r.top = pos(random);
        r.right = r.left + size(random);
        r.bottom = r.top + size(random);
    }
    return rects;
}

void build(Region& region, const std::vector<Rect>& rects)
{
    for (const Rect& r : rects) {
        Region one;
        one.addFast(r);
        Region::add(region, region, one);
    }
}

void build(pixman_region32_t& region, const std::vector<Rect>& rects)
{
    pixman_region32_init(&region);
    for (const Rect& r : rects)
        pixman_region32_union_rect(&region, &region, r.left, r.top, unsigned(r.right - r.left),
                                   unsigned(r.bottom - r.top));
}

// The frame less the region, band by band.
void buildComplement(Region& out, const Region& region, const Rect& frame)
{
    std::int32_t y = frame.top;
    for (const Region::Item* it = region.first(); it;) {
        const Rect band = it->value;
        out.addFast({frame.left, y, frame.right, band.top});
        std::int32_t x = frame.left;
        for (; it && it->value.top == band.top; it = it->next) {
            out.addFast({x, band.top, it->value.left, band.bottom});
            x = it->value.right;
        }
        out.addFast({x, band.top, frame.right, band.bottom});
        y = band.bottom;
    }
    out.addFast({frame.left, y, frame.right, frame.bottom});
}

struct Operands {
    explicit Operands(unsigned seed, int count)
    {
        std::mt19937 random(seed);
        rectsA = randomRects(random, count);
        rectsB = randomRects(random, count);
        build(a, rectsA);
        build(b, rectsB);
        build(pa, rectsA);
        build(pb, rectsB);
        buildComplement(outsideB, b, {-1, -1, 1101, 1101});
    }
    ~Operands()
    {
        pixman_region32_fini(&pa);
        pixman_region32_fini(&pb);
    }
    Operands(const Operands&) = delete;
    Operands& operator=(const Operands&) = delete;

    std::vector<Rect> rectsA, rectsB;
    Region a, b, outsideB;
    pixman_region32_t pa, pb;
};

// The pairs of operands one benchmark goes round.
struct OperandSets {
    explicit OperandSets(const benchmark::State& state)
    {
        const int count = int(state.range(0));
        for (int i = 0; i < int(state.range(1)); ++i)
            sets.push_back(std::make_unique<Operands>(unsigned(count) * 7919u + unsigned(i), count));
    }
    const Operands& next() noexcept
    {
        const Operands& in = *sets[k];
        k = k + 1 == sets.size() ? 0 : k + 1;
        return in;
    }
    std::vector<std::unique_ptr<Operands>> sets;
    std::size_t k = 0;
};

using RegionOperation = void (*)(Region&, const Region&, const Region&);
using PixmanOperation = pixman_bool_t (*)(pixman_region32_t*, const pixman_region32_t*, const pixman_region32_t*);

// subtract: the second operand is b's complement, for the region's side.
void regionOperation(benchmark::State& state, RegionOperation operation, bool subtract)
{
    OperandSets sets(state);
    Region result;
    for (auto _ : state) {
        const Operands& in = sets.next();
        operation(result, in.a, subtract ? in.outsideB : in.b);
        benchmark::DoNotOptimize(result.count());
    }
}

void pixmanOperation(benchmark::State& state, PixmanOperation operation)
{
    OperandSets sets(state);
    pixman_region32_t result;
    pixman_region32_init(&result);
    for (auto _ : state) {
        const Operands& in = sets.next();
        operation(&result, &in.pa, &in.pb);
        benchmark::DoNotOptimize(pixman_region32_n_rects(&result));
    }
    pixman_region32_fini(&result);
}

// Building a region from its rectangles one at a time, in the order they come.
void regionAddFast(benchmark::State& state)
{
    std::mt19937 random(unsigned(state.range(0)));
    const auto rects = randomRects(random, int(state.range(0)));
    for (auto _ : state) {
        Region region;
        for (const Rect& r : rects)
            region.addFast(r);
        benchmark::DoNotOptimize(region.count());
    }
}

void pixmanUnionRect(benchmark::State& state)
{
    std::mt19937 random(unsigned(state.range(0)));
    const auto rects = randomRects(random, int(state.range(0)));
    for (auto _ : state) {
        pixman_region32_t region;
        build(region, rects);
        benchmark::DoNotOptimize(pixman_region32_n_rects(&region));
        pixman_region32_fini(&region);
    }
}

constexpr int kSmall = 8;
constexpr int kLarge = 512;

// Rectangles per operand, and pairs of operands gone round.
void operandArguments(benchmark::internal::Benchmark* b)
{
    b->ArgsProduct({benchmark::CreateRange(kSmall, kLarge, 4), {1, 16}});
}

BENCHMARK_CAPTURE(regionOperation, union, &Region::add, false)->Apply(operandArguments);
BENCHMARK_CAPTURE(pixmanOperation, union, &pixman_region32_union)->Apply(operandArguments);
BENCHMARK_CAPTURE(regionOperation, intersection, &Region::intersect, false)->Apply(operandArguments);
BENCHMARK_CAPTURE(pixmanOperation, intersection, &pixman_region32_intersect)->Apply(operandArguments);
BENCHMARK_CAPTURE(regionOperation, subtraction, &Region::intersect, true)->Apply(operandArguments);
BENCHMARK_CAPTURE(pixmanOperation, subtraction, &pixman_region32_subtract)->Apply(operandArguments);
BENCHMARK(regionAddFast)->RangeMultiplier(4)->Range(kSmall, kLarge);
BENCHMARK(pixmanUnionRect)->RangeMultiplier(4)->Range(kSmall, kLarge);

} // namespace

int main(int argc, char** argv)
{
    if (!Region::init())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Region::deInit();
    return 0;
}
