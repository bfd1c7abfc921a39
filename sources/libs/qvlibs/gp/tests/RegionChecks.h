#pragma once

// What the region tests share: the set of pixels a region holds, the rules a
// well-formed region keeps, and the conversion to and from pixman's regions,
// which serve as the reference implementation.

#include <QV/GP/Region.h>

#include <pixman.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace QV::GP::Testing {

using Pixels = std::set<std::pair<int, int>>;

inline void addPixels(Pixels& pixels, const Rect& r)
{
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            pixels.emplace(x, y);
}

inline std::vector<Rect> rectsOf(const Region& region)
{
    std::vector<Rect> rects;
    if (region.isSingle())
        rects.push_back(region.bounds());
    else
        for (const Region::Item* it = region.first(); it; it = it->next)
            rects.push_back(it->value);
    return rects;
}

inline Pixels pixelsOf(const Region& region)
{
    Pixels pixels;
    for (const Rect& r : rectsOf(region))
        addPixels(pixels, r);
    return pixels;
}

inline std::string describe(const Region& region)
{
    std::string text = "bounds (" + std::to_string(region.bounds().left) + "," + std::to_string(region.bounds().top) +
                       "," + std::to_string(region.bounds().right) + "," + std::to_string(region.bounds().bottom) +
                       ") items";
    for (const Region::Item* it = region.first(); it; it = it->next)
        text += " (" + std::to_string(it->value.left) + "," + std::to_string(it->value.top) + "," +
                std::to_string(it->value.right) + "," + std::to_string(it->value.bottom) + ")";
    return text;
}

// The rules every region keeps; `coalesced` adds that no two bands that meet
// hold the same spans (what the band sweep promises).
inline ::testing::AssertionResult isWellFormed(const Region& region, bool coalesced = false)
{
    const Rect& b = region.bounds();
    int counted = 0;
    for (const Region::Item* it = region.first(); it; it = it->next)
        ++counted;
    if (counted != region.count())
        return ::testing::AssertionFailure() << "count " << region.count() << " but " << counted << " items";
    if (region.count() == 0) {
        if (b.isEmpty() && !(b == Rect{}))
            return ::testing::AssertionFailure() << "empty region keeps bounds: " << describe(region);
        return ::testing::AssertionSuccess();
    }
    if (b.isEmpty())
        return ::testing::AssertionFailure() << "items with empty bounds: " << describe(region);
    Rect hull{region.first()->value.left, region.first()->value.top, region.first()->value.right,
              region.last()->value.bottom};
    const Region::Item* prevBand = nullptr;
    const Region::Item* band = region.first();
    while (band) {
        const Region::Item* end = band;
        for (; end && end->value.top == band->value.top; end = end->next) {
            const Rect& r = end->value;
            if (r.isEmpty())
                return ::testing::AssertionFailure() << "empty item: " << describe(region);
            if (r.bottom != band->value.bottom)
                return ::testing::AssertionFailure() << "uneven band: " << describe(region);
            if (end != band && end->prev->value.right >= r.left)
                return ::testing::AssertionFailure() << "spans overlap or touch: " << describe(region);
            hull.left = std::min(hull.left, r.left);
            hull.right = std::max(hull.right, r.right);
        }
        if (prevBand) {
            if (prevBand->value.bottom > band->value.top)
                return ::testing::AssertionFailure() << "bands overlap: " << describe(region);
            if (coalesced && prevBand->value.bottom == band->value.top) {
                const Region::Item* p = prevBand;
                const Region::Item* q = band;
                while (p != band && q != end && p->value.left == q->value.left && p->value.right == q->value.right) {
                    p = p->next;
                    q = q->next;
                }
                if (p == band && q == end)
                    return ::testing::AssertionFailure() << "bands not coalesced: " << describe(region);
            }
        }
        prevBand = band;
        band = end;
    }
    if (!(hull == b))
        return ::testing::AssertionFailure() << "bounds are not the hull: " << describe(region);
    return ::testing::AssertionSuccess();
}

// A pixman region that owns itself.
class PixmanRegion {
public:
    PixmanRegion() { pixman_region32_init(&m_region); }
    explicit PixmanRegion(const std::vector<Rect>& rects)
    {
        pixman_region32_init(&m_region);
        for (const Rect& r : rects) {
            if (r.isEmpty())
                continue;
            pixman_region32_union_rect(&m_region, &m_region, r.left, r.top, unsigned(r.right - r.left),
                                       unsigned(r.bottom - r.top));
        }
    }
    ~PixmanRegion() { pixman_region32_fini(&m_region); }
    PixmanRegion(const PixmanRegion&) = delete;
    PixmanRegion& operator=(const PixmanRegion&) = delete;

    pixman_region32_t* get() { return &m_region; }

    std::vector<Rect> rects()
    {
        int n = 0;
        const pixman_box32_t* boxes = pixman_region32_rectangles(&m_region, &n);
        std::vector<Rect> out;
        for (int i = 0; i < n; ++i)
            out.push_back({boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2});
        return out;
    }

    Pixels pixels()
    {
        Pixels pixels;
        for (const Rect& r : rects())
            addPixels(pixels, r);
        return pixels;
    }

private:
    pixman_region32_t m_region;
};

} // namespace QV::GP::Testing
