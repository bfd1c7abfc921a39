// Regions on random rectangles, compared with a plain set of pixels and with
// pixman's regions built from the same rectangles. pixman keeps its regions
// in the same canonical banded form as the band sweep, so results of the
// sweep must match its rectangle lists exactly, not only as pixel sets.

#include "RegionChecks.h"

#include <QV/GP/Region.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace QV::GP {
namespace {

using Testing::addPixels;
using Testing::isWellFormed;
using Testing::Pixels;
using Testing::PixmanRegion;
using Testing::pixelsOf;
using Testing::rectsOf;

constexpr int kRounds = 400;

class RegionCompareTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Region::init()); }
    void TearDown() override { Region::deInit(); }

    std::vector<Rect> randomRects()
    {
        std::uniform_int_distribution<int> count(1, 12), pos(-20, 60), size(1, 30), choice(0, 2);
        // Rectangles on a coarse grid share edges often, which is where
        // spans touch and bands meet and coalesce.
        const int grid = choice(m_random) == 0 ? 8 : 1;
        auto snap = [grid](int v) { return v / grid * grid; };
        std::vector<Rect> rects(std::size_t(count(m_random)));
        for (Rect& r : rects) {
            r.left = snap(pos(m_random));
            r.top = snap(pos(m_random));
            r.right = r.left + std::max(grid, snap(size(m_random)));
            r.bottom = r.top + std::max(grid, snap(size(m_random)));
        }
        // Some sets arrive in the order invalidation usually produces.
        if (choice(m_random) == 0)
            std::sort(rects.begin(), rects.end(),
                      [](const Rect& a, const Rect& b) { return std::tie(a.top, a.left) < std::tie(b.top, b.left); });
        return rects;
    }

    Rect randomRect()
    {
        std::uniform_int_distribution<int> pos(-25, 70), size(0, 40);
        Rect r;
        r.left = pos(m_random);
        r.top = pos(m_random);
        r.right = r.left + size(m_random);
        r.bottom = r.top + size(m_random);
        return r;
    }

    // Through the band sweep only: the canonical form.
    static void buildByUnion(Region& region, const std::vector<Rect>& rects)
    {
        for (const Rect& r : rects) {
            Region one;
            one.addFast(r);
            Region::add(region, region, one);
        }
    }

    static void buildByAddFast(Region& region, const std::vector<Rect>& rects)
    {
        for (const Rect& r : rects)
            region.addFast(r);
    }

    static Pixels pixelsOf(const std::vector<Rect>& rects)
    {
        Pixels pixels;
        for (const Rect& r : rects)
            addPixels(pixels, r);
        return pixels;
    }

    // The part of the frame that region leaves free, fed to addFast band by
    // band; intersecting with it subtracts region.
    static void buildComplement(Region& out, const Region& region, const Rect& frame)
    {
        std::int32_t y = frame.top;
        const auto rects = rectsOf(region);
        for (std::size_t i = 0; i < rects.size();) {
            const Rect& band = rects[i];
            if (band.top > y)
                out.addFast({frame.left, y, frame.right, band.top});
            std::int32_t x = frame.left;
            for (; i < rects.size() && rects[i].top == band.top; ++i) {
                out.addFast({x, band.top, rects[i].left, band.bottom});
                x = rects[i].right;
            }
            out.addFast({x, band.top, frame.right, band.bottom});
            y = band.bottom;
        }
        out.addFast({frame.left, y, frame.right, frame.bottom});
    }

    static int modelTest(const Pixels& set, const Rect& r)
    {
        if (r.isEmpty())
            return 1;
        Pixels inside;
        addPixels(inside, r);
        const auto in = std::count_if(inside.begin(), inside.end(), [&](const auto& p) { return set.count(p) != 0; });
        return in == 0 ? 1 : std::size_t(in) == inside.size() ? 0 : 2;
    }

    std::mt19937 m_random{20261207};
};

TEST_F(RegionCompareTest, BuildingUnionIntersectionAndSubtraction)
{
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const auto rectsA = randomRects(), rectsB = randomRects();
        const Pixels modelA = pixelsOf(rectsA), modelB = pixelsOf(rectsB);
        PixmanRegion pa(rectsA), pb(rectsB);

        Region a, b, fastA, fastB;
        buildByUnion(a, rectsA);
        buildByUnion(b, rectsB);
        buildByAddFast(fastA, rectsA);
        buildByAddFast(fastB, rectsB);
        ASSERT_TRUE(isWellFormed(a, true));
        ASSERT_TRUE(isWellFormed(fastA));
        ASSERT_TRUE(isWellFormed(fastB));
        EXPECT_EQ(rectsOf(a), pa.rects());
        EXPECT_EQ(rectsOf(b), pb.rects());
        EXPECT_EQ(Testing::pixelsOf(fastA), modelA);
        EXPECT_EQ(Testing::pixelsOf(fastB), modelB);

        Pixels modelUnion, modelCommon, modelDifference;
        std::set_union(modelA.begin(), modelA.end(), modelB.begin(), modelB.end(),
                       std::inserter(modelUnion, modelUnion.end()));
        std::set_intersection(modelA.begin(), modelA.end(), modelB.begin(), modelB.end(),
                              std::inserter(modelCommon, modelCommon.end()));
        std::set_difference(modelA.begin(), modelA.end(), modelB.begin(), modelB.end(),
                            std::inserter(modelDifference, modelDifference.end()));
        PixmanRegion pu, pi, pd;
        pixman_region32_union(pu.get(), pa.get(), pb.get());
        pixman_region32_intersect(pi.get(), pa.get(), pb.get());
        pixman_region32_subtract(pd.get(), pa.get(), pb.get());
        ASSERT_EQ(pu.pixels(), modelUnion);
        ASSERT_EQ(pi.pixels(), modelCommon);
        ASSERT_EQ(pd.pixels(), modelDifference);

        Region united, common;
        Region::add(united, a, b);
        Region::intersect(common, a, b);
        EXPECT_TRUE(isWellFormed(united, true));
        EXPECT_TRUE(isWellFormed(common, true));
        EXPECT_EQ(rectsOf(united), pu.rects());
        EXPECT_EQ(rectsOf(common), pi.rects());

        // Operands built by addFast need not be coalesced; the pixels must
        // still agree.
        Region::add(united, fastA, fastB);
        Region::intersect(common, fastA, fastB);
        EXPECT_TRUE(isWellFormed(united));
        EXPECT_TRUE(isWellFormed(common));
        EXPECT_EQ(Testing::pixelsOf(united), modelUnion);
        EXPECT_EQ(Testing::pixelsOf(common), modelCommon);

        // a − b as a ∩ (frame − b).
        const Rect frame{std::min(a.bounds().left, b.bounds().left) - 1, std::min(a.bounds().top, b.bounds().top) - 1,
                         std::max(a.bounds().right, b.bounds().right) + 1,
                         std::max(a.bounds().bottom, b.bounds().bottom) + 1};
        Region outsideB, difference;
        buildComplement(outsideB, b, frame);
        ASSERT_TRUE(isWellFormed(outsideB));
        Region::intersect(difference, a, outsideB);
        EXPECT_TRUE(isWellFormed(difference, true));
        EXPECT_EQ(rectsOf(difference), pd.rects());

        // Results written over an operand's own items, which the result
        // outgrows (union) or leaves partly unused (intersection).
        Region intoB, intoA;
        b.copyTo(intoB);
        a.copyTo(intoA);
        Region::add(intoB, a, intoB);
        Region::intersect(intoA, intoA, b);
        EXPECT_TRUE(isWellFormed(intoB, true));
        EXPECT_TRUE(isWellFormed(intoA, true));
        EXPECT_EQ(rectsOf(intoB), pu.rects());
        EXPECT_EQ(rectsOf(intoA), pi.rects());

        // addFast onto a region that already has bands.
        for (const Rect& r : rectsB)
            fastA.addFast(r);
        EXPECT_TRUE(isWellFormed(fastA));
        EXPECT_EQ(Testing::pixelsOf(fastA), modelUnion);
    }
}

TEST_F(RegionCompareTest, TestRectAndIntersector)
{
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const auto rects = randomRects();
        const Pixels model = pixelsOf(rects);
        PixmanRegion reference(rects);
        Region canonical, fast;
        buildByUnion(canonical, rects);
        buildByAddFast(fast, rects);

        for (int probe = 0; probe < 8; ++probe) {
            const Rect r = randomRect();
            SCOPED_TRACE(::testing::Message() << "rect " << r.left << "," << r.top << "," << r.right << ","
                                              << r.bottom);
            const int expected = modelTest(model, r);
            EXPECT_EQ(canonical.testRect(r), expected);
            EXPECT_EQ(fast.testRect(r), expected);
            if (!r.isEmpty()) {
                pixman_box32_t box{r.left, r.top, r.right, r.bottom};
                const auto answer = pixman_region32_contains_rectangle(reference.get(), &box);
                const int mapped = answer == PIXMAN_REGION_IN ? 0 : answer == PIXMAN_REGION_OUT ? 1 : 2;
                EXPECT_EQ(mapped, expected);
            }

            Pixels clipped, walked;
            Pixels inside;
            addPixels(inside, r);
            std::set_intersection(model.begin(), model.end(), inside.begin(), inside.end(),
                                  std::inserter(clipped, clipped.end()));
            for (const Region* region : {&canonical, &fast}) {
                walked.clear();
                Rect part;
                for (Region::const_intersector it(*region, r, {3, -2}); it.next(part);) {
                    part = {part.left + 3, part.top - 2, part.right + 3, part.bottom - 2};
                    ASSERT_TRUE(r.contains(part) || part.isEmpty());
                    addPixels(walked, part);
                }
                EXPECT_EQ(walked, clipped);
            }
        }
    }
}

} // namespace
} // namespace QV::GP
