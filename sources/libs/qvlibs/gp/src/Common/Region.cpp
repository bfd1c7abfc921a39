#include "QV/GP/Region.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace QV::GP {

namespace {

using Item = Region::Item;

constexpr std::size_t kFirstPacketElements = 8192;
constexpr std::size_t kGrowthLimit = 6710886;

// The item after the last one of the band that starts at `it`.
template <class ItemT>
ItemT* bandEnd(ItemT* it) noexcept
{
    const std::int32_t top = it->value.top;
    do
        it = it->next;
    while (it && it->value.top == top);
    return it;
}

// Follows the links of one region's items. A region's items are mostly taken
// from the pool in one batch, so they lie one after another at the same
// distance. Following `next` makes every step wait for the load of the step
// before; guessing the next address from the last distance and only checking
// the guess against `next` lets the processor run ahead as long as guesses
// hold. The check is a branch on purpose: a select would wait for the load
// again.
class ItemWalk {
public:
    template <class ItemT>
    ItemT* next(ItemT* it) noexcept
    {
        const auto here = reinterpret_cast<std::uintptr_t>(it);
        const auto actual = reinterpret_cast<std::uintptr_t>(it->next);
        const std::uintptr_t guess = here + m_distance;
        // The compiler must not learn that the guess equals `next` when they
        // compare equal, or it would hand out the loaded value after all.
        std::uintptr_t probe = guess;
        asm("" : "+r"(probe));
        if (__builtin_expect(actual == probe, 1))
            return reinterpret_cast<ItemT*>(guess);
        m_distance = actual - here;
        return reinterpret_cast<ItemT*>(actual);
    }

private:
    // Fresh packets hand out their last element first.
    std::uintptr_t m_distance = std::uintptr_t(0) - DA::RegularAllocator::kSlotOffset - sizeof(Region::Item);
};

// When the band [bandStart, bandEnd) continues the band that starts at
// prevStart with the same spans, the earlier band grows down over it and the
// answer is true: the caller then drops the later band's items.
bool absorbsBand(Item* prevStart, Item* bandStart, Item* bandEnd) noexcept
{
    if (prevStart->value.bottom != bandStart->value.top)
        return false;
    const Item* a = prevStart;
    const Item* b = bandStart;
    for (; a != bandStart && b != bandEnd; a = a->next, b = b->next)
        if (a->value.left != b->value.left || a->value.right != b->value.right)
            return false;
    if (a != bandStart || b != bandEnd)
        return false;
    const std::int32_t bottom = bandStart->value.bottom;
    for (Item* p = prevStart; p != bandStart; p = p->next)
        p->value.bottom = bottom;
    return true;
}

// Moves a coordinate, stopping at the ends of the 32-bit range rather than
// wrapping round to the other side.
std::int32_t shifted(std::int32_t value, std::int64_t delta) noexcept
{
    const std::int64_t v = std::int64_t(value) + delta;
    return std::int32_t(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max()));
}

// One operand laid out: its rectangles, and for each band the index where
// the next band starts. The arrays only grow, so that their contents need no
// clearing from one operation to the next.
struct LaidOut {
    std::vector<Rect> rects;
    std::vector<std::uint32_t> bandEnds;
    std::size_t rectCount = 0;
    std::size_t bandCount = 0;

    std::span<const Rect> laidOutRects() const noexcept { return {rects.data(), rectCount}; }
};

// The sweep lays out its operands and writes its result in plain arrays, so
// that its steps are address arithmetic rather than loads of links, bands
// that coalesce with the one above never cost items, and the result goes
// into items in one batch at the end. The arrays are kept per thread so that
// their capacity carries over from one operation to the next; they hold as
// much as the largest operation of the thread needed until it ends.
thread_local std::vector<Rect> t_sweepOut;
thread_local LaidOut t_sweepA;
thread_local LaidOut t_sweepB;

// Appends the result of a band sweep band by band, coalescing each finished
// band with the one before it when it continues it with the same spans. A
// band is written through a cursor into room reserved for the most spans it
// can have, so the steps that write it need no checks.
class BandWriter {
public:
    explicit BandWriter(std::vector<Rect>& store) noexcept
        : m_store(store), m_base(store.data()), m_room(store.data() + store.size()), m_end(m_base)
    {
    }

    // Room for at least `most` spans; the answer is where the band starts.
    Rect* beginBand(std::size_t most)
    {
        if (std::size_t(m_room - m_end) < most)
            grow(most);
        return m_end;
    }

    // The band ends where the cursor stopped.
    void endBand(Rect* cursor) noexcept
    {
        const std::size_t count = std::size_t(cursor - m_end);
        if (count == 0)
            return;
        if (m_prev && m_end - m_prev == std::ptrdiff_t(count) && absorbs(m_end, count))
            return;
        m_prev = m_end;
        m_end = cursor;
    }

    // Copies the spans of one source band with a new top and bottom. Most
    // bands copied are short, so the call would cost more than the copy.
    [[gnu::always_inline]] void appendBand(const Rect* from, const Rect* to, std::int32_t top, std::int32_t bottom)
    {
        Rect* out = beginBand(std::size_t(to - from));
        for (; from != to; ++from, ++out)
            *out = {from->left, top, from->right, bottom};
        endBand(out);
    }

    std::span<const Rect> written() const noexcept { return {m_base, m_end}; }

private:
    void grow(std::size_t most)
    {
        const std::size_t size = std::size_t(m_end - m_base);
        const std::size_t prev = m_prev ? std::size_t(m_prev - m_base) : 0;
        m_store.resize(std::max(size + most, 2 * m_store.size()));
        m_base = m_store.data();
        m_room = m_base + m_store.size();
        m_end = m_base + size;
        if (m_prev)
            m_prev = m_base + prev;
    }

    // When the band just written continues the one before it with the same
    // spans, the earlier band grows down over it.
    bool absorbs(const Rect* band, std::size_t count) noexcept
    {
        Rect* prev = m_prev;
        if (prev->bottom != band->top)
            return false;
        for (std::size_t i = 0; i < count; ++i)
            if (prev[i].left != band[i].left || prev[i].right != band[i].right)
                return false;
        for (std::size_t i = 0; i < count; ++i)
            prev[i].bottom = band->bottom;
        return true;
    }

    std::vector<Rect>& m_store;
    Rect* m_base;
    Rect* m_room;
    Rect* m_end;
    // The first span of the last band kept, or null before the first one.
    Rect* m_prev = nullptr;
};

// Walks the bands of a laid-out operand.
class BandCursor {
public:
    explicit BandCursor(const LaidOut& operand) noexcept
        : m_rects(operand.rects.data()), m_next(operand.bandEnds.data()), m_stop(m_next + operand.bandCount)
    {
    }
    bool done() const noexcept { return m_next == m_stop; }
    // The next band's end; the band starts where the one before it ended.
    const Rect* nextEnd() noexcept { return m_rects + *m_next++; }

private:
    const Rect* m_rects;
    const std::uint32_t* m_next;
    const std::uint32_t* m_stop;
};

// The classic banded region operation, on the operands' rectangles laid out
// in arrays. Bands of one operand that do not meet the other are kept when
// that operand's switch is on; where both operands have a band, the overlap
// step decides the spans.
template <class Overlap>
void sweep(BandWriter& out, const LaidOut& a, const LaidOut& b, Overlap overlap, bool keepA, bool keepB)
{
    BandCursor bandsA(a);
    BandCursor bandsB(b);
    const Rect* ra = a.rects.data();
    const Rect* rb = b.rects.data();
    const Rect* ea = bandsA.nextEnd();
    const Rect* eb = bandsB.nextEnd();
    std::int32_t ybot = std::min(ra->top, rb->top);
    for (;;) {
        // The part of the band that starts higher above the other band's top.
        auto appendAbove = [&](const Rect* r, const Rect* e, std::int32_t otherTop, bool keep) {
            const std::int32_t top = std::max(r->top, ybot);
            const std::int32_t bottom = std::min(r->bottom, otherTop);
            if (keep && top < bottom)
                out.appendBand(r, e, top, bottom);
        };
        const std::int32_t ta = ra->top;
        const std::int32_t tb = rb->top;
        if (ta < tb)
            appendAbove(ra, ea, tb, keepA);
        else if (tb < ta)
            appendAbove(rb, eb, ta, keepB);
        const std::int32_t ytop = std::max(ta, tb);
        const std::int32_t bottomA = ra->bottom;
        const std::int32_t bottomB = rb->bottom;
        ybot = std::min(bottomA, bottomB);
        if (ybot > ytop)
            out.endBand(overlap(out.beginBand(std::size_t((ea - ra) + (eb - rb))), ra, ea, rb, eb, ytop, ybot));
        // An operand whose band ends here moves to its next band, or is
        // finished when it has none.
        bool finishedA = false;
        bool finishedB = false;
        if (bottomA == ybot) {
            finishedA = bandsA.done();
            if (!finishedA) {
                ra = ea;
                ea = bandsA.nextEnd();
            }
        }
        if (bottomB == ybot) {
            finishedB = bandsB.done();
            if (!finishedB) {
                rb = eb;
                eb = bandsB.nextEnd();
            }
        }
        if (finishedA || finishedB) {
            // The other operand's current band (the part below ybot) and all
            // bands after it are kept when its switch is on.
            auto appendRest = [&](BandCursor& bands, const Rect* rest,
                                  const Rect* end) __attribute__((always_inline)) {
                out.appendBand(rest, end, std::max(rest->top, ybot), rest->bottom);
                while (!bands.done()) {
                    rest = end;
                    end = bands.nextEnd();
                    out.appendBand(rest, end, rest->top, rest->bottom);
                }
            };
            if (!finishedA && keepA)
                appendRest(bandsA, ra, ea);
            if (!finishedB && keepB)
                appendRest(bandsB, rb, eb);
            return;
        }
    }
}

// Spans of both bands merged by left (b's first on a tie); overlapping and
// touching spans become one. The answer is where the written spans end.
struct UnionOverlap {
    Rect* operator()(Rect* out, const Rect* a, const Rect* ea, const Rect* b, const Rect* eb, std::int32_t top,
                     std::int32_t bottom) const noexcept
    {
        std::int32_t left;
        std::int32_t right;
        if (b != eb && (a == ea || b->left <= a->left)) {
            left = b->left;
            right = b->right;
            ++b;
        } else {
            left = a->left;
            right = a->right;
            ++a;
        }
        auto merge = [&](const Rect* s) {
            if (s->left <= right) {
                right = std::max(right, s->right);
            } else {
                *out++ = {left, top, right, bottom};
                left = s->left;
                right = s->right;
            }
        };
        while (a != ea && b != eb) {
            if (b->left <= a->left)
                merge(b++);
            else
                merge(a++);
        }
        for (; a != ea; ++a)
            merge(a);
        for (; b != eb; ++b)
            merge(b);
        *out++ = {left, top, right, bottom};
        return out;
    }
};

// Spans of both bands in step; where two overlap their common part is kept.
// The steps branch: which span ends first mostly repeats from one step to
// the next (many narrow spans of one band inside a wide one of the other),
// so the branches are well predicted, which a select could not make up for.
struct IntersectOverlap {
    Rect* operator()(Rect* out, const Rect* a, const Rect* ea, const Rect* b, const Rect* eb, std::int32_t top,
                     std::int32_t bottom) const noexcept
    {
        while (a != ea && b != eb) {
            const std::int32_t left = std::max(a->left, b->left);
            if (a->right < b->right) {
                if (left < a->right)
                    *out++ = {left, top, a->right, bottom};
                ++a;
            } else if (b->right < a->right) {
                if (left < b->right)
                    *out++ = {left, top, b->right, bottom};
                ++b;
            } else {
                if (left < a->right)
                    *out++ = {left, top, a->right, bottom};
                ++a;
                ++b;
            }
        }
        return out;
    }
};

// Lays out a region's rectangles in an array, its items or its bounds when
// it is a single rectangle, and notes where each band ends.
void flatten(const Region& region, LaidOut& into)
{
    auto reserve = [&into](std::size_t size) {
        if (into.rects.size() < size) {
            into.rects.resize(size);
            into.bandEnds.resize(size);
        }
    };
    const Item* it = region.first();
    if (!it) {
        reserve(1);
        into.rects[0] = region.bounds();
        into.bandEnds[0] = 1;
        into.rectCount = into.bandCount = 1;
        return;
    }
    // Sized by the count and written without checks; a list that holds
    // more items than it counts only costs another round.
    std::size_t size = std::size_t(std::max(region.count(), 1));
    reserve(size);
    std::size_t n = 0;
    std::size_t bands = 0;
    std::int32_t top = it->value.top;
    ItemWalk walk;
    for (;;) {
        Rect* out = into.rects.data();
        std::uint32_t* end = into.bandEnds.data();
        for (; it && n < size; it = walk.next(it), ++n) {
            out[n] = it->value;
            // Written at every item, kept when a new band starts there.
            end[bands] = std::uint32_t(n);
            bands += it->value.top != top;
            top = it->value.top;
        }
        if (!it)
            break;
        size *= 2;
        reserve(size);
    }
    into.bandEnds[bands] = std::uint32_t(n);
    into.rectCount = n;
    into.bandCount = bands + 1;
}

} // namespace

DA::RegularAllocator Region::s_heap("Region item");
int Region::s_iInitCnt = 0;

bool Region::init()
{
    if (s_iInitCnt++ > 0)
        return true;
    s_heap.createLock();
    if (!s_heap.isSetUp() && !s_heap.init(sizeof(Item), kFirstPacketElements, kGrowthLimit, 0)) {
        s_heap.destroyLock();
        s_iInitCnt = 0;
        return false;
    }
    return true;
}

void Region::deInit()
{
    if (s_iInitCnt <= 0 || --s_iInitCnt > 0)
        return;
    s_heap.deInit();
    s_heap.destroyLock();
}

void Region::implDeleteItem(Item* item) noexcept { s_heap.deallocate(item); }

// Every caller holds the pool's lock for the whole operation.
Region::Item* Region::newItem(const Rect& r)
{
    void* memory = s_heap.allocateHeld();
    return new (memory) Item{nullptr, nullptr, r};
}

Region::~Region() { dropItems(); }

// Gives every item back under one hold of the pool's lock. The last item goes
// back first, so that the pool hands the items out again in the order the
// list had them, and the next list built from them lies in one run.
void Region::dropItems() noexcept
{
    if (!m_first)
        return;
    CriticalSection::Guard hold(s_heap.lock());
    Item* item = m_last;
    m_first = m_last = nullptr;
    m_count = 0;
    while (item) {
        Item* prev = item->prev;
        s_heap.deallocateHeld(item);
        item = prev;
    }
}

// The region's own items are written over in place and only the shortfall
// is taken from the pool, before anything changes, so that running out of
// items leaves the region as it was. Items left over go back, the last first.
void Region::assignItems(std::span<const Rect> rects)
{
    if (rects.size() > std::size_t(std::numeric_limits<int>::max()))
        throw std::bad_alloc();
    // Writing over the region's own items needs nothing of the pool; only
    // taking or giving back items does.
    std::optional<CriticalSection::Guard> hold;
    if (rects.size() != std::size_t(m_count))
        hold.emplace(s_heap.lock());
    // The bands are in order, so only the sides of the bounds need looking
    // for.
    std::int32_t left = std::numeric_limits<std::int32_t>::max();
    std::int32_t right = std::numeric_limits<std::int32_t>::min();
    // The extra chain is a list of its own, so that a failed allocation
    // leaves it for its destructor to give back.
    Region extra;
    for (std::size_t i = std::size_t(m_count); i < rects.size(); ++i) {
        const Rect& r = rects[i];
        extra.pushBack(newItem(r));
        left = std::min(left, r.left);
        right = std::max(right, r.right);
    }
    ItemWalk walk;
    Item* it = m_first;
    Item* last = nullptr;
    const std::size_t inPlace = std::min(rects.size(), std::size_t(m_count));
    for (std::size_t i = 0; it && i < inPlace; ++i) {
        const Rect& r = rects[i];
        it->value = r;
        left = std::min(left, r.left);
        right = std::max(right, r.right);
        last = it;
        it = walk.next(it);
    }
    if (it) {
        Item* tail = m_last;
        m_last = last;
        if (last)
            last->next = nullptr;
        else
            m_first = nullptr;
        for (;;) {
            Item* prev = tail->prev;
            s_heap.deallocateHeld(tail);
            if (tail == it)
                break;
            tail = prev;
        }
    } else if (extra.m_first) {
        spliceBefore(nullptr, extra.m_first, extra.m_last);
        extra.m_first = extra.m_last = nullptr;
        extra.m_count = 0;
    }
    m_count = int(rects.size());
    m_bounds = rects.empty() ? Rect{} : Rect{left, rects.front().top, right, rects.back().bottom};
}

void Region::makeEmpty() noexcept
{
    dropItems();
    m_bounds = {};
}

void Region::setSingle(const Rect& r) noexcept
{
    dropItems();
    m_bounds = r;
}

void Region::recomputeBounds() noexcept
{
    if (!m_first) {
        if (m_bounds.isEmpty())
            m_bounds = {};
        return;
    }
    Rect b{m_first->value.left, m_first->value.top, m_first->value.right, m_last->value.bottom};
    for (const Item* it = m_first->next; it; it = it->next) {
        b.left = std::min(b.left, it->value.left);
        b.right = std::max(b.right, it->value.right);
    }
    m_bounds = b;
}

void Region::copyTo(Region& target) const
{
    if (&target == this)
        return;
    if (m_count <= 1) {
        // Empty or single: the bounds say it all.
        target.setSingle(isEmpty() ? Rect{} : m_bounds);
        return;
    }
    LaidOut& laidOut = t_sweepA;
    flatten(*this, laidOut);
    target.assignItems(laidOut.laidOutRects());
}

void Region::expropriate(Region& source) noexcept
{
    if (&source == this)
        return;
    dropItems();
    swapItems(source);
    m_bounds = source.m_bounds;
    source.m_bounds = {};
}

namespace {

// The operand that is a single rectangle holding all of the other one (a
// before b), or null.
const Region* singleHolding(const Region& a, const Region& b) noexcept
{
    if (a.isSingle() && a.bounds().contains(b.bounds()))
        return &a;
    if (b.isSingle() && b.bounds().contains(a.bounds()))
        return &b;
    return nullptr;
}

} // namespace

template <class Overlap>
void Region::sweepInto(Region& result, const Region& a, const Region& b, Overlap overlap, bool keepOutside)
{
    flatten(a, t_sweepA);
    flatten(b, t_sweepB);
    BandWriter writer(t_sweepOut);
    sweep(writer, t_sweepA, t_sweepB, overlap, keepOutside, keepOutside);

    // Only now is result changed, so that running out of items leaves result
    // (and the operands) as they were.
    result.assignItems(writer.written());
}

void Region::add(Region& result, const Region& a, const Region& b)
{
    if (&a == &b || b.isEmpty()) {
        a.copyTo(result);
        return;
    }
    if (a.isEmpty()) {
        b.copyTo(result);
        return;
    }
    if (const Region* holder = singleHolding(a, b)) {
        holder->copyTo(result);
        return;
    }
    sweepInto(result, a, b, UnionOverlap{}, true);
}

void Region::intersect(Region& result, const Region& a, const Region& b)
{
    if (a.isEmpty() || b.isEmpty() || !a.m_bounds.overlaps(b.m_bounds)) {
        result.makeEmpty();
        return;
    }
    if (&a == &b) {
        a.copyTo(result);
        return;
    }
    if (a.isSingle() && b.isSingle()) {
        result.setSingle(a.m_bounds.intersection(b.m_bounds));
        return;
    }
    if (const Region* holder = singleHolding(a, b)) {
        (holder == &a ? b : a).copyTo(result);
        return;
    }
    sweepInto(result, a, b, IntersectOverlap{}, false);
}

void Region::addFast(const Rect& r)
{
    if (r.isEmpty())
        return;
    if (isEmpty()) {
        setSingle(r);
        return;
    }
    if (isSingle()) {
        if (m_bounds.contains(r))
            return;
        if (r.contains(m_bounds)) {
            setSingle(r);
            return;
        }
    }
    // Items are taken and given back one by one below; holding the pool's
    // lock once makes each of them a cheap re-entry.
    CriticalSection::Guard hold(s_heap.lock());
    if (m_count == 0)
        pushBack(newItem(m_bounds));
    try {
        mergeIntoBands(r);
    } catch (...) {
        // Every step below leaves well-formed bands behind, so only the
        // bounds need to follow what was merged before the failure.
        recomputeBounds();
        throw;
    }
    m_bounds = {std::min(m_bounds.left, r.left), std::min(m_bounds.top, r.top), std::max(m_bounds.right, r.right),
                std::max(m_bounds.bottom, r.bottom)};
}

// Inserts copies of the spans [from, to), with a new top and bottom, before
// pos: all of them or, when items run out, none.
void Region::insertSpanCopies(Item* pos, const Item* from, const Item* to, std::int32_t top, std::int32_t bottom)
{
    Region copies;
    for (; from != to; from = from->next)
        copies.pushBack(newItem({from->value.left, top, from->value.right, bottom}));
    insertChainBefore(pos, copies.m_first, copies.m_last, copies.m_count);
    copies.m_first = copies.m_last = nullptr;
    copies.m_count = 0;
}

void Region::mergeIntoBands(const Rect& r)
{
    auto isLoneSpan = [](const Item* it) {
        return (!it->prev || it->prev->value.top != it->value.top) &&
               (!it->next || it->next->value.top != it->value.top);
    };
    auto isSpanOfR = [&r](const Item* it) { return it->value.left == r.left && it->value.right == r.right; };

    std::int32_t y = r.top;
    Item* it = m_first;
    // Bands above the last one end at or above its top, so a rectangle that
    // starts there cannot meet them: this keeps appending in order cheap.
    if (m_last && r.top >= m_last->value.top) {
        it = m_last;
        while (it->prev && it->prev->value.top == it->value.top)
            it = it->prev;
    }
    while (y < r.bottom) {
        while (it && it->value.bottom <= y)
            it = it->next;
        if (!it)
            break;

        if (it->value.top > y) {
            // A gap between y and this band: fill it with a piece of r.
            const std::int32_t bandTop = it->value.top;
            const std::int32_t pieceBottom = std::min(bandTop, r.bottom);
            if (pieceBottom == bandTop && isLoneSpan(it) && isSpanOfR(it)) {
                it->value.top = y;
                Item* prev = it->prev;
                if (prev && prev->value.bottom == y && isLoneSpan(prev) && isSpanOfR(prev)) {
                    it->value.top = prev->value.top;
                    erase(prev);
                }
            } else {
                insertBefore(it, newItem({r.left, y, r.right, pieceBottom}));
            }
            if (bandTop >= r.bottom)
                return;
            y = bandTop;
        }

        Item* end = bandEnd(it);
        bool covered = false;
        for (const Item* s = it; s != end && !covered; s = s->next)
            covered = s->value.left <= r.left && s->value.right >= r.right;
        if (covered) {
            y = it->value.bottom;
            it = end;
            continue;
        }

        // Cut off the part of the band above y and the part below r.
        if (it->value.top < y) {
            insertSpanCopies(it, it, end, it->value.top, y);
            for (Item* s = it; s != end; s = s->next)
                s->value.top = y;
        }
        if (it->value.bottom > r.bottom) {
            Item* lastOfBand = end ? end->prev : m_last;
            insertSpanCopies(end, it, end, r.bottom, it->value.bottom);
            end = lastOfBand->next;
            for (Item* s = it; s != end; s = s->next)
                s->value.bottom = r.bottom;
        }

        // Merge the span into the band; touching spans become one.
        Item* s = it;
        while (s != end && !(s->value.right >= r.left && s->value.left <= r.right))
            s = s->next;
        if (s != end) {
            s->value.left = std::min(s->value.left, r.left);
            s->value.right = std::max(s->value.right, r.right);
            while (s->next != end && s->next->value.left <= s->value.right) {
                s->value.right = std::max(s->value.right, s->next->value.right);
                erase(s->next);
            }
        } else {
            Item* pos = it;
            while (pos != end && pos->value.left <= r.right)
                pos = pos->next;
            Item* span = newItem({r.left, it->value.top, r.right, it->value.bottom});
            insertBefore(pos, span);
            if (pos == it)
                it = span;
        }

        const std::int32_t bandBottom = it->value.bottom;
        if (Item* prev = it->prev) {
            while (prev->prev && prev->prev->value.top == prev->value.top)
                prev = prev->prev;
            if (absorbsBand(prev, it, end)) {
                while (it != end) {
                    Item* next = it->next;
                    erase(it);
                    it = next;
                }
            }
        }
        y = bandBottom;
        it = end;
    }
    if (y < r.bottom)
        pushBack(newItem({r.left, y, r.right, r.bottom}));
}

void Region::moveBy(std::int32_t dx, std::int32_t dy) noexcept
{
    if (isEmpty())
        return;
    auto move = [dx, dy](Rect& r) {
        r.left = shifted(r.left, dx);
        r.right = shifted(r.right, dx);
        r.top = shifted(r.top, dy);
        r.bottom = shifted(r.bottom, dy);
    };
    // Coordinates stop at the ends of the 32-bit range. Only then can items
    // shrink or vanish, which the common case need not check for.
    const bool stops = std::int64_t(m_bounds.left) + dx < std::numeric_limits<std::int32_t>::min() ||
                       std::int64_t(m_bounds.right) + dx > std::numeric_limits<std::int32_t>::max() ||
                       std::int64_t(m_bounds.top) + dy < std::numeric_limits<std::int32_t>::min() ||
                       std::int64_t(m_bounds.bottom) + dy > std::numeric_limits<std::int32_t>::max();
    move(m_bounds);
    for (Item* it = m_first; it; it = it->next)
        move(it->value);
    if (stops)
        dropSqueezedItems();
}

// After a move that ran into the ends of the coordinate range: items pressed
// to nothing go, bands that now hold the same spans as the band above merge
// with it, and the bounds are the hull again, so that the region keeps the
// shape every operation expects.
void Region::dropSqueezedItems() noexcept
{
    if (!m_first) {
        if (m_bounds.isEmpty())
            m_bounds = {};
        return;
    }
    for (Item* it = m_first; it;) {
        Item* next = it->next;
        if (it->value.isEmpty())
            erase(it);
        it = next;
    }
    if (!m_first) {
        m_bounds = {};
        return;
    }
    // Spans never meet within a band after a move (the right one of two
    // would have to vanish first), but two bands may now hold equal spans.
    Item* prevBand = nullptr;
    for (Item* band = m_first; band;) {
        Item* end = band;
        while (end && end->value.top == band->value.top)
            end = end->next;
        bool same = prevBand && prevBand->value.bottom == band->value.top;
        Item* p = prevBand;
        Item* q = band;
        for (; same && p != band && q != end; p = p->next, q = q->next)
            same = p->value.left == q->value.left && p->value.right == q->value.right;
        if (same && p == band && q == end) {
            for (Item* it = prevBand; it != band; it = it->next)
                it->value.bottom = band->value.bottom;
            for (Item* it = band; it != end;) {
                Item* next = it->next;
                erase(it);
                it = next;
            }
        } else {
            prevBand = band;
        }
        band = end;
    }
    recomputeBounds();
}

int Region::testRect(const Rect& r) const noexcept
{
    if (isEmpty() || r.isEmpty() || !r.overlaps(m_bounds))
        return 1;
    if (isSingle())
        return m_bounds.contains(r) ? 0 : 2;
    bool partIn = false;
    bool partOut = false;
    std::int32_t y = r.top;
    for (const Item* it = m_first; it; it = it->next) {
        const Rect& box = it->value;
        if (box.bottom <= y)
            continue;
        if (box.top > y) {
            partOut = true;
            if (partIn || box.top >= r.bottom)
                break;
            y = box.top;
        }
        if (box.right <= r.left)
            continue;
        if (box.left > r.left) {
            partOut = true;
            if (partIn)
                break;
        }
        if (box.left < r.right) {
            partIn = true;
            if (partOut)
                break;
        }
        // A band whose first span that reaches r stops short of r's right
        // edge leaves part of r uncovered.
        if (box.right < r.right)
            break;
        y = box.bottom;
        if (y >= r.bottom)
            break;
    }
    if (!partIn)
        return 1;
    return y < r.bottom ? 2 : 0;
}

const Region::Item* Region::getNextIntersectingRect(const Item* after, const Rect& r) const noexcept
{
    for (const Item* it = after ? after->next : m_first; it; it = it->next) {
        const Rect& box = it->value;
        if (box.bottom <= r.top)
            continue;
        if (box.top >= r.bottom)
            return nullptr;
        if (box.right > r.left && box.left < r.right)
            return it;
        if (box.left >= r.right && box.bottom >= r.bottom)
            return nullptr;
    }
    return nullptr;
}

Region::const_intersector::const_intersector(const Region& region, const Rect& clip, const Point& offset) noexcept
    : m_region(&region), m_single(region.isSingle()), m_clip(clip), m_offset(offset)
{
    if (clip.isEmpty() || region.isEmpty() || !clip.overlaps(region.bounds())) {
        m_mode = kFinished;
        return;
    }
    if (m_single)
        return;
    if (clip.contains(region.bounds())) {
        m_mode = kEveryItem;
        m_current = region.first();
        return;
    }
    m_current = region.getNextIntersectingRect(nullptr, clip);
    if (!m_current)
        m_mode = kFinished;
}

bool Region::const_intersector::next(Rect& out) noexcept
{
    if (m_mode == kFinished)
        return false;
    const Rect& source = m_single ? m_region->bounds() : m_current->value;
    out = m_clip.intersection(source);
    if (out.isEmpty())
        out = {};
    out.left = shifted(out.left, -std::int64_t(m_offset.x));
    out.right = shifted(out.right, -std::int64_t(m_offset.x));
    out.top = shifted(out.top, -std::int64_t(m_offset.y));
    out.bottom = shifted(out.bottom, -std::int64_t(m_offset.y));
    if (m_single) {
        m_mode = kFinished;
    } else {
        m_current = m_mode == kEveryItem ? m_current->next : m_region->getNextIntersectingRect(m_current, m_clip);
        if (!m_current)
            m_mode = kFinished;
    }
    return true;
}

} // namespace QV::GP
