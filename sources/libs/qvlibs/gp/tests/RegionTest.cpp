// Regions: the operations on hand-made cases, and what running out of items
// does to the regions being changed.

#include "RegionChecks.h"

#include <QV/GP/Region.h>

#include <algorithm>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace QV::GP {
namespace {

using Testing::isWellFormed;
using Testing::pixelsOf;
using Testing::rectsOf;

class RegionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Region::init()); }
    void TearDown() override { Region::deInit(); }

    static void fill(Region& region, const std::vector<Rect>& rects)
    {
        for (const Rect& r : rects)
            region.addFast(r);
    }
};

TEST_F(RegionTest, UnionMergesTouchingSpansAndCoalescesBands)
{
    Region a, b, c, result;
    a.addFast({0, 0, 10, 10});
    b.addFast({10, 0, 20, 10});
    Region::add(result, a, b);
    EXPECT_TRUE(result.isSingle());
    EXPECT_EQ(result.bounds(), (Rect{0, 0, 20, 10}));

    c.addFast({0, 10, 10, 20});
    Region::add(result, a, c);
    EXPECT_TRUE(result.isSingle());
    EXPECT_LE(result.count(), 1);
    EXPECT_EQ(result.bounds(), (Rect{0, 0, 10, 20}));
}

TEST_F(RegionTest, UnionIntoAnOperandAndOfARegionWithItself)
{
    Region a, b;
    fill(a, {{0, 0, 10, 10}, {20, 0, 30, 10}});
    fill(b, {{5, 5, 25, 15}});
    auto expected = pixelsOf(a);
    Testing::addPixels(expected, {5, 5, 25, 15});

    Region::add(a, a, b);
    EXPECT_TRUE(isWellFormed(a, true));
    EXPECT_EQ(pixelsOf(a), expected);

    Region::add(b, a, b);
    EXPECT_EQ(pixelsOf(b), expected);
    Region::add(a, a, a);
    EXPECT_EQ(pixelsOf(a), expected);
}

TEST_F(RegionTest, IntersectionTrivialCases)
{
    Region a, b, result;
    a.addFast({0, 0, 10, 10});
    b.addFast({20, 20, 30, 30});
    result.addFast({1, 1, 2, 2});
    Region::intersect(result, a, b);
    EXPECT_TRUE(result.isEmpty());
    EXPECT_EQ(result.bounds(), (Rect{}));
    EXPECT_EQ(result.count(), 0);

    b.makeEmpty();
    b.addFast({5, 5, 15, 15});
    Region::intersect(result, a, b);
    EXPECT_TRUE(result.isSingle());
    EXPECT_EQ(result.count(), 0);
    EXPECT_EQ(result.bounds(), (Rect{5, 5, 10, 10}));

    // A single rectangle that holds the other operand's bounds gives a copy
    // of that operand.
    Region big, holed;
    big.addFast({-100, -100, 100, 100});
    fill(holed, {{0, 0, 10, 10}, {20, 0, 30, 10}});
    Region::intersect(result, big, holed);
    EXPECT_EQ(rectsOf(result), rectsOf(holed));
    Region::intersect(holed, holed, holed);
    EXPECT_EQ(rectsOf(result), rectsOf(holed));
}

TEST_F(RegionTest, TestRectAnswers)
{
    Region single;
    single.addFast({0, 0, 10, 10});
    EXPECT_EQ(single.testRect({2, 2, 4, 4}), 0);
    EXPECT_EQ(single.testRect({5, 5, 15, 15}), 2);
    EXPECT_EQ(single.testRect({20, 20, 30, 30}), 1);
    EXPECT_EQ(single.testRect({3, 3, 3, 8}), 1) << "an empty rectangle is outside";

    Region empty;
    EXPECT_EQ(empty.testRect({0, 0, 1, 1}), 1);
}

TEST_F(RegionTest, IntersectorClipsAndOffsets)
{
    Region single;
    single.addFast({0, 0, 10, 10});
    Region::const_intersector it(single, {5, 5, 20, 20}, {5, 5});
    Rect out;
    ASSERT_TRUE(it.next(out));
    EXPECT_EQ(out, (Rect{0, 0, 5, 5}));
    EXPECT_FALSE(it.next(out));

    // A clip that holds the whole region walks every item.
    Region banded;
    fill(banded, {{0, 0, 10, 10}, {20, 0, 30, 10}, {0, 20, 30, 30}});
    std::vector<Rect> seen;
    for (Region::const_intersector walk(banded, {-5, -5, 40, 40}, {1, 2}); walk.next(out);)
        seen.push_back(out);
    EXPECT_EQ(seen, (std::vector<Rect>{{-1, -2, 9, 8}, {19, -2, 29, 8}, {-1, 18, 29, 28}}));

    Region::const_intersector none(banded, {12, 12, 18, 18}, {0, 0});
    EXPECT_FALSE(none.next(out));
    Region::const_intersector emptyClip(banded, {5, 5, 5, 25}, {0, 0});
    EXPECT_FALSE(emptyClip.next(out));
}

TEST_F(RegionTest, MoveByAndCopies)
{
    Region empty;
    empty.moveBy(5, 5);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.bounds(), (Rect{}));

    Region banded, copy;
    fill(banded, {{0, 0, 10, 10}, {20, 0, 30, 10}});
    banded.moveBy(-3, 4);
    EXPECT_EQ(rectsOf(banded), (std::vector<Rect>{{-3, 4, 7, 14}, {17, 4, 27, 14}}));
    EXPECT_EQ(banded.bounds(), (Rect{-3, 4, 27, 14}));

    banded.copyTo(copy);
    EXPECT_EQ(rectsOf(copy), rectsOf(banded));
    banded.copyTo(banded);
    EXPECT_EQ(rectsOf(copy), rectsOf(banded));

    Region taken;
    taken.expropriate(copy);
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_EQ(copy.count(), 0);
    EXPECT_EQ(rectsOf(taken), rectsOf(banded));
}

TEST_F(RegionTest, MovesIntoTheEndsOfTheRangeKeepTheRegionWellFormed)
{
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

    // Items pressed against the right end vanish; the bands left behind hold
    // the same spans and become one.
    Region pressed;
    fill(pressed, {{0, 0, 10, 10}, {kMax - 20, 0, kMax - 10, 10}, {0, 10, 10, 20}});
    pressed.moveBy(25, 0);
    EXPECT_TRUE(isWellFormed(pressed, true)) << Testing::describe(pressed);
    EXPECT_EQ(rectsOf(pressed), (std::vector<Rect>{{25, 0, 35, 20}}));
    EXPECT_EQ(pressed.bounds(), (Rect{25, 0, 35, 20}));

    // Everything pushed off the top: an empty region with empty bounds,
    // which a later union must not bring back.
    Region gone;
    fill(gone, {{0, kMin + 5, 10, kMin + 10}, {20, kMin + 5, 30, kMin + 10}});
    gone.moveBy(0, -20);
    EXPECT_TRUE(gone.isEmpty());
    EXPECT_EQ(gone.count(), 0);
    EXPECT_EQ(gone.bounds(), (Rect{}));
    Region other, sum;
    fill(other, {{0, 0, 4, 4}});
    Region::add(sum, gone, other);
    EXPECT_EQ(rectsOf(sum), (std::vector<Rect>{{0, 0, 4, 4}}));

    // A single rectangle cut at the end of the range keeps what is left.
    Region single;
    fill(single, {{kMax - 10, 0, kMax, 5}});
    single.moveBy(5, 0);
    EXPECT_EQ(rectsOf(single), (std::vector<Rect>{{kMax - 5, 0, kMax, 5}}));
    single.moveBy(10, 0);
    EXPECT_TRUE(single.isEmpty());
    EXPECT_EQ(single.bounds(), (Rect{}));
}

TEST_F(RegionTest, AddFastBuildsBandsInOrderAndOutOfOrder)
{
    Region region;
    // A grid of cells fed row by row, left to right, as invalidation does.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            region.addFast({x * 10, y * 10, x * 10 + 5, y * 10 + 5});
    EXPECT_TRUE(isWellFormed(region));
    EXPECT_EQ(region.count(), 16);

    // A rectangle that spans the gaps joins the columns of its rows and
    // fills the gaps between rows.
    region.addFast({0, 2, 35, 33});
    EXPECT_TRUE(isWellFormed(region));
    Testing::Pixels expected;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            Testing::addPixels(expected, {x * 10, y * 10, x * 10 + 5, y * 10 + 5});
    Testing::addPixels(expected, {0, 2, 35, 33});
    EXPECT_EQ(pixelsOf(region), expected);

    // Stacked equal spans fed from the bottom up extend one band upwards.
    Region column;
    column.addFast({0, 20, 10, 30});
    column.addFast({20, 20, 30, 30});
    column.addFast({0, 10, 10, 20});
    column.addFast({0, 0, 10, 10});
    EXPECT_TRUE(isWellFormed(column));
    EXPECT_EQ(rectsOf(column), (std::vector<Rect>{{0, 0, 10, 20}, {0, 20, 10, 30}, {20, 20, 30, 30}}));

    // A piece that reaches the band below but not the one above (one row
    // apart) joins only the lower one.
    Region gapped;
    gapped.addFast({0, 30, 10, 40});
    gapped.addFast({0, 0, 10, 11});
    gapped.addFast({0, 12, 10, 30});
    EXPECT_TRUE(isWellFormed(gapped));
    EXPECT_EQ(rectsOf(gapped), (std::vector<Rect>{{0, 0, 10, 11}, {0, 12, 10, 40}}));
}

TEST_F(RegionTest, PoolSettingsAndNestedStarts)
{
    EXPECT_EQ(Region::s_heap.elementSize(), 32u);
    EXPECT_EQ(Region::s_heap.largestPacketElements(), 8192u);
    EXPECT_EQ(Region::s_heap.nextPacketElements(), 16384u);
    EXPECT_EQ(Region::s_heap.bytesInUse(), 40u * 8192 + 56);

    // A nested start and stop leaves the pool running.
    ASSERT_TRUE(Region::init());
    Region::deInit();
    EXPECT_TRUE(Region::s_heap.isSetUp());
    Region region;
    region.addFast({0, 0, 1, 1});
    region.addFast({2, 0, 3, 1});
    EXPECT_EQ(region.count(), 2);
}

TEST_F(RegionTest, StoppingThePoolKeepsItemsStillInUse)
{
    {
        Region survivor;
        survivor.addFast({0, 0, 10, 10});
        survivor.addFast({20, 0, 30, 10});
        const auto before = rectsOf(survivor);
        Region::deInit();
        EXPECT_EQ(Region::s_heap.packetCount(), 1u) << "the packet holding the items stays";
        // Reading and dropping the items after the stop is safe
        // (AddressSanitizer watches the memory).
        EXPECT_EQ(rectsOf(survivor), before);
        EXPECT_THROW(survivor.addFast({40, 0, 50, 10}), std::bad_alloc) << "a stopped pool hands out nothing";
        EXPECT_EQ(rectsOf(survivor), before);
    }
    EXPECT_EQ(Region::s_heap.packetCount(), 0u) << "the last item took its packet along";
    ASSERT_TRUE(Region::init());
}

TEST_F(RegionTest, RegionsOnSeveralThreads)
{
    // Each thread builds its own regions from the one shared pool.
    std::vector<std::thread> threads;
    std::vector<int> counts(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &counts] {
            for (int round = 0; round < 50; ++round) {
                Region a, b, both;
                for (int i = 0; i < 40; ++i) {
                    a.addFast({i * 3, i * 2 + t, i * 3 + 2, i * 2 + t + 3});
                    b.addFast({i * 3 + 1, i * 2, i * 3 + 4, i * 2 + 1});
                }
                Region::add(both, a, b);
                Region::intersect(a, a, both);
                counts[std::size_t(t)] = a.count();
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        Region a;
        for (int i = 0; i < 40; ++i)
            a.addFast({i * 3, i * 2 + t, i * 3 + 2, i * 2 + t + 3});
        EXPECT_EQ(counts[std::size_t(t)], a.count()) << "a ∩ (a ∪ b) is a";
    }
}

// Holds every free element of the pool, then gives back `spare` of them, so
// that the next operation can take no more than that before it runs out.
class PoolSqueeze {
public:
    explicit PoolSqueeze(std::size_t spare)
    {
        Region::s_heap.setFlags(Region::s_heap.flags() | DETAIL::RegularAllocatorBase::kFlagOnePacket);
        try {
            for (;;)
                m_held.push_back(Region::s_heap.allocate(0));
        } catch (const std::bad_alloc&) {
        }
        for (std::size_t i = 0; i < spare && !m_held.empty(); ++i) {
            Region::s_heap.deallocate(m_held.back());
            m_held.pop_back();
        }
    }
    ~PoolSqueeze()
    {
        for (void* p : m_held)
            Region::s_heap.deallocate(p);
        Region::s_heap.setFlags(Region::s_heap.flags() & ~DETAIL::RegularAllocatorBase::kFlagOnePacket);
    }

private:
    std::vector<void*> m_held;
};

TEST_F(RegionTest, RunningOutOfItemsLeavesEveryRegionAsItWas)
{
    Region a, b, result;
    for (int i = 0; i < 20; ++i) {
        a.addFast({i * 4, i * 3, i * 4 + 3, i * 3 + 2});
        b.addFast({i * 4 + 1, i * 3 + 1, i * 4 + 6, i * 3 + 4});
    }
    result.addFast({100, 100, 110, 110});
    result.addFast({120, 100, 130, 110});
    const auto aRects = rectsOf(a), bRects = rectsOf(b), resultRects = rectsOf(result);
    const std::size_t inUse = Region::s_heap.elementsInUse();

    // An operation writes over the result's own items and takes only the
    // shortfall from the pool: copying a (20 items) into result (2) needs 18
    // more, and every other result here needs at least 19 more.
    for (std::size_t spare : {0u, 1u, 7u, 17u}) {
        SCOPED_TRACE(spare);
        PoolSqueeze squeeze(spare);
        EXPECT_THROW(Region::add(result, a, b), std::bad_alloc);
        EXPECT_THROW(Region::add(a, a, b), std::bad_alloc);
        EXPECT_THROW(Region::intersect(b, a, b), std::bad_alloc);
        EXPECT_THROW(a.copyTo(result), std::bad_alloc);
        EXPECT_EQ(rectsOf(a), aRects);
        EXPECT_EQ(rectsOf(b), bRects);
        EXPECT_EQ(rectsOf(result), resultRects);
        EXPECT_TRUE(isWellFormed(a));
        EXPECT_TRUE(isWellFormed(b));
        EXPECT_TRUE(isWellFormed(result));
    }
    EXPECT_EQ(Region::s_heap.elementsInUse(), inUse) << "items of the abandoned results were given back";

    // Once items are available again the same operations succeed.
    Region::add(result, a, b);
    EXPECT_TRUE(isWellFormed(result, true));

    // A result that already holds enough items needs none from the pool, and
    // gives back what it no longer needs.
    {
        PoolSqueeze squeeze(0);
        Region::intersect(result, a, b);
        EXPECT_TRUE(isWellFormed(result, true));
        a.copyTo(result);
        EXPECT_EQ(rectsOf(result), aRects);
        Region::intersect(result, result, a);
        EXPECT_EQ(rectsOf(result), aRects);

        // Two pieces in bands of their own, so the sweep runs: a's first
        // five rectangles are left, and the other 15 items go back.
        Region clip;
        clip.addFast({0, 0, 20, 100});
        clip.addFast({200, 100, 210, 101});
        const std::size_t before = Region::s_heap.elementsInUse();
        Region::intersect(result, result, clip);
        EXPECT_EQ(rectsOf(result), std::vector<Rect>(aRects.begin(), aRects.begin() + 5));
        EXPECT_TRUE(isWellFormed(result, true));
        EXPECT_EQ(Region::s_heap.elementsInUse(), before - 15);
    }
}

TEST_F(RegionTest, RunningOutDuringAddFastKeepsAWellFormedRegion)
{
    // Each new rectangle cuts through many bands, so merging it needs
    // several items; with only a few to spare it fails half-way.
    for (std::size_t spare : {0u, 1u, 2u, 5u, 11u}) {
        SCOPED_TRACE(spare);
        Region region;
        for (int i = 0; i < 12; ++i)
            region.addFast({i % 2 ? 0 : 20, i * 10, i % 2 ? 10 : 30, i * 10 + 5});
        const auto before = pixelsOf(region);
        const Rect r{5, 3, 25, 118};
        auto after = before;
        Testing::addPixels(after, r);
        {
            PoolSqueeze squeeze(spare);
            EXPECT_THROW(region.addFast(r), std::bad_alloc);
        }
        EXPECT_TRUE(isWellFormed(region));
        const auto now = pixelsOf(region);
        EXPECT_TRUE(std::includes(now.begin(), now.end(), before.begin(), before.end())) << "nothing was lost";
        EXPECT_TRUE(std::includes(after.begin(), after.end(), now.begin(), now.end())) << "nothing was invented";
        // And the region still takes the rectangle once items are back.
        region.addFast(r);
        EXPECT_EQ(pixelsOf(region), after);
    }
}

} // namespace
} // namespace QV::GP
