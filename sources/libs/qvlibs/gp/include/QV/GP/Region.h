#pragma once

// A set of pixels held as non-overlapping rectangles in y-x bands: bands are
// ordered by top and do not overlap vertically, and the spans of a band are
// ordered by left and neither overlap nor touch. A region of one rectangle
// keeps it in its bounds and needs no item at all.
//
// The rectangle items of every region come from one pool (s_heap), started by
// init() and stopped by deInit(); regions must live between the two. The pool
// is locked, so regions may be built on any thread, but one region belongs to
// one thread at a time.

#include "QV/GP/DETAIL/CountedListImpl.h"
#include "QV/GP/Point.h"
#include "QV/GP/Rect.h"
#include "QV/GP/RegularAllocator.h"

#include <span>

namespace QV::GP {

class Region;

namespace DETAIL {
using RegionList = CountedListImpl<OwnerListImpl<ListBase<ListItem<Rect>>, Region>>;
}

class Region : public DETAIL::RegionList {
public:
    using Item = DETAIL::ListItem<Rect>;

    // Counted start and stop of the shared pool.
    static bool init();
    static void deInit();

    Region() noexcept = default;
    ~Region();
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    // Returns one item to the shared pool.
    static void implDeleteItem(Item* item) noexcept;

    const Rect& bounds() const noexcept { return m_bounds; }
    bool isEmpty() const noexcept { return m_bounds.isEmpty(); }
    // The region is exactly its bounds.
    bool isSingle() const noexcept { return !m_bounds.isEmpty() && m_count <= 1; }

    // Gives every item back; the region becomes empty.
    void makeEmpty() noexcept;

    // Target becomes equal to this region; nothing when target is this one.
    // Throws std::bad_alloc with target unchanged when items run out.
    void copyTo(Region& target) const;
    // Takes the content of source, which becomes empty.
    void expropriate(Region& source) noexcept;

    // result = a ∪ b and result = a ∩ b; result may be a or b. When items run
    // out they throw std::bad_alloc and leave result, a and b unchanged.
    static void add(Region& result, const Region& a, const Region& b);
    static void intersect(Region& result, const Region& a, const Region& b);

    // Union with one rectangle; fastest when rectangles come top to bottom
    // and left to right. When items run out it throws std::bad_alloc; the
    // region then still is a well-formed region holding at least what it held
    // before.
    void addFast(const Rect& r);

    void moveBy(std::int32_t dx, std::int32_t dy) noexcept;

    // 0 when r lies completely inside, 1 when it is outside (also for an
    // empty r or an empty region), 2 when it is partly inside.
    int testRect(const Rect& r) const noexcept;

    // The next item after `after` (from the first one when null) that
    // overlaps r, or null.
    const Item* getNextIntersectingRect(const Item* after, const Rect& r) const noexcept;

    // Walks the parts of a region inside a clip rectangle, each shifted by
    // minus the offset.
    class const_intersector {
    public:
        const_intersector(const Region& region, const Rect& clip, const Point& offset) noexcept;
        bool next(Rect& out) noexcept;

    private:
        enum Mode { kEveryItem = 0, kSearch = 1, kFinished = 2 };

        const Region* m_region;
        bool m_single;
        const Item* m_current = nullptr;
        int m_mode = kSearch;
        Rect m_clip;
        Point m_offset;
    };

    static DA::RegularAllocator s_heap;
    static int s_iInitCnt;

private:
    static Item* newItem(const Rect& r);
    void insertSpanCopies(Item* pos, const Item* from, const Item* to, std::int32_t top, std::int32_t bottom);
    void mergeIntoBands(const Rect& r);
    template <class Overlap>
    static void sweepInto(Region& result, const Region& a, const Region& b, Overlap overlap, bool keepOutside);
    void dropItems() noexcept;
    void assignItems(std::span<const Rect> rects);
    void recomputeBounds() noexcept;
    void dropSqueezedItems() noexcept;
    void setSingle(const Rect& r) noexcept;

    Rect m_bounds;
};

} // namespace QV::GP
