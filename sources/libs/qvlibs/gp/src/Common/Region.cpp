#include "QV/GP/Region.h"

#include <algorithm>
#include <limits>
#include <new>
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

// The sweep writes its result rectangles into a plain array first, so that
// bands that coalesce with the one above never cost items, and the result
// goes into items in one batch at the end. The array is kept per thread so
// that its capacity carries over from one operation to the next.
thread_local std::vector<Rect> t_sweepOut;

// Appends the result of a band sweep band by band, coalescing each finished
// band with the one before it when it continues it with the same spans, and
// keeping the horizontal extent for the bounds.
class BandWriter {
public:
    explicit BandWriter(std::vector<Rect>& out) noexcept : m_out(out) { m_out.clear(); }

    void beginBand() noexcept { m_bandStart = m_out.size(); }

    void append(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
    {
        m_out.push_back({left, top, right, bottom});
    }

    void endBand() noexcept
    {
        const std::size_t count = m_out.size() - m_bandStart;
        if (count == 0)
            return;
        m_left = std::min(m_left, m_out[m_bandStart].left);
        m_right = std::max(m_right, m_out.back().right);
        if (m_hasPrev && m_bandStart - m_prevStart == count && absorbs(count))
            m_out.resize(m_bandStart);
        else
            m_prevStart = m_bandStart;
        m_hasPrev = true;
    }

    // Copies the spans of one source band with a new top and bottom.
    void appendBand(const Item* from, const Item* to, std::int32_t top, std::int32_t bottom)
    {
        beginBand();
        for (; from != to; from = from->next)
            append(from->value.left, top, from->value.right, bottom);
        endBand();
    }

    Rect bounds() const noexcept
    {
        if (m_out.empty())
            return {};
        return {m_left, m_out.front().top, m_right, m_out.back().bottom};
    }

private:
    // When the band just written continues the one before it with the same
    // spans, the earlier band grows down over it.
    bool absorbs(std::size_t count) noexcept
    {
        Rect* prev = m_out.data() + m_prevStart;
        const Rect* band = m_out.data() + m_bandStart;
        if (prev->bottom != band->top)
            return false;
        for (std::size_t i = 0; i < count; ++i)
            if (prev[i].left != band[i].left || prev[i].right != band[i].right)
                return false;
        for (std::size_t i = 0; i < count; ++i)
            prev[i].bottom = band->bottom;
        return true;
    }

    std::vector<Rect>& m_out;
    std::size_t m_prevStart = 0;
    bool m_hasPrev = false;
    std::size_t m_bandStart = 0;
    std::int32_t m_left = std::numeric_limits<std::int32_t>::max();
    std::int32_t m_right = std::numeric_limits<std::int32_t>::min();
};

// The classic banded region operation. Bands of one operand that do not meet
// the other are kept when that operand's switch is on; where both operands
// have a band, the overlap step decides the spans.
template <class Overlap>
void sweep(BandWriter& out, const Item* ra, const Item* rb, Overlap overlap, bool keepA, bool keepB)
{
    std::int32_t ybot = std::min(ra->value.top, rb->value.top);
    // A band's end is looked up once, when the sweep reaches the band: a tall
    // band may be met by many bands of the other operand.
    const Item* ea = bandEnd(ra);
    const Item* eb = bandEnd(rb);
    while (ra && rb) {
        // The part of the band that starts higher above the other band's top.
        auto appendAbove = [&](const Item* r, const Item* e, std::int32_t otherTop, bool keep) {
            const std::int32_t top = std::max(r->value.top, ybot);
            const std::int32_t bottom = std::min(r->value.bottom, otherTop);
            if (keep && top < bottom)
                out.appendBand(r, e, top, bottom);
        };
        const std::int32_t ta = ra->value.top;
        const std::int32_t tb = rb->value.top;
        if (ta < tb)
            appendAbove(ra, ea, tb, keepA);
        else if (tb < ta)
            appendAbove(rb, eb, ta, keepB);
        const std::int32_t ytop = std::max(ta, tb);
        const std::int32_t bottomA = ra->value.bottom;
        const std::int32_t bottomB = rb->value.bottom;
        ybot = std::min(bottomA, bottomB);
        if (ybot > ytop) {
            out.beginBand();
            overlap(out, ra, ea, rb, eb, ytop, ybot);
            out.endBand();
        }
        if (bottomA == ybot) {
            ra = ea;
            if (ra)
                ea = bandEnd(ra);
        }
        if (bottomB == ybot) {
            rb = eb;
            if (rb)
                eb = bandEnd(rb);
        }
    }
    const Item* rest = ra ? ra : rb;
    if (rest && (ra ? keepA : keepB)) {
        const Item* end = ra ? ea : eb;
        out.appendBand(rest, end, std::max(rest->value.top, ybot), rest->value.bottom);
        for (rest = end; rest; rest = end) {
            end = bandEnd(rest);
            out.appendBand(rest, end, rest->value.top, rest->value.bottom);
        }
    }
}

// Spans of both bands merged by left (b's first on a tie); overlapping and
// touching spans become one.
struct UnionOverlap {
    void operator()(BandWriter& out, const Item* a, const Item* ea, const Item* b, const Item* eb, std::int32_t top,
                    std::int32_t bottom) const
    {
        std::int32_t left;
        std::int32_t right;
        auto start = [&](const Item*& s) {
            left = s->value.left;
            right = s->value.right;
            s = s->next;
        };
        auto merge = [&](const Item*& s) {
            if (s->value.left <= right) {
                right = std::max(right, s->value.right);
            } else {
                out.append(left, top, right, bottom);
                left = s->value.left;
                right = s->value.right;
            }
            s = s->next;
        };
        // Separate loops for the common part and each operand's rest keep
        // every step a well-predicted branch.
        if (b != eb && (a == ea || b->value.left <= a->value.left))
            start(b);
        else
            start(a);
        while (a != ea && b != eb) {
            if (b->value.left <= a->value.left)
                merge(b);
            else
                merge(a);
        }
        while (a != ea)
            merge(a);
        while (b != eb)
            merge(b);
        out.append(left, top, right, bottom);
    }
};

struct IntersectOverlap {
    void operator()(BandWriter& out, const Item* a, const Item* ea, const Item* b, const Item* eb, std::int32_t top,
                    std::int32_t bottom) const
    {
        // Plain branches rather than selects: the steps are well predicted,
        // and a select would chain each step's loads to the one before.
        while (a != ea && b != eb) {
            const Rect& ra = a->value;
            const Rect& rb = b->value;
            const std::int32_t left = std::max(ra.left, rb.left);
            if (ra.right < rb.right) {
                if (left < ra.right)
                    out.append(left, top, ra.right, bottom);
                a = a->next;
            } else if (rb.right < ra.right) {
                if (left < rb.right)
                    out.append(left, top, rb.right, bottom);
                b = b->next;
            } else {
                if (left < ra.right)
                    out.append(left, top, ra.right, bottom);
                a = a->next;
                b = b->next;
            }
        }
    }
};

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

// Gives every item back under one hold of the pool's lock.
void Region::dropItems() noexcept
{
    if (!m_first)
        return;
    CriticalSection::Guard hold(s_heap.lock());
    Item* item = m_first;
    m_first = m_last = nullptr;
    m_count = 0;
    while (item) {
        Item* next = item->next;
        s_heap.deallocateHeld(item);
        item = next;
    }
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
    CriticalSection::Guard hold(s_heap.lock());
    Region copy;
    for (const Item* it = m_first; it; it = it->next)
        copy.pushBack(newItem(it->value));
    copy.m_bounds = m_bounds;
    target.expropriate(copy);
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
    // A single-rectangle operand takes part as a one-item list of its bounds.
    const Item stubA{nullptr, nullptr, a.bounds()};
    const Item stubB{nullptr, nullptr, b.bounds()};
    std::vector<Rect>& rects = t_sweepOut;
    BandWriter writer(rects);
    sweep(writer, a.first() ? a.first() : &stubA, b.first() ? b.first() : &stubB, overlap, keepOutside, keepOutside);

    // Built aside and taken over only when complete, so that running out of
    // items leaves result (and the operands) as they were.
    CriticalSection::Guard hold(s_heap.lock());
    // The chain is linked as it grows, so that a failed allocation leaves a
    // well-formed list for the destructor to give back.
    Region built;
    for (const Rect& r : rects) {
        Item* item = new (s_heap.allocateHeld()) Item{built.m_last, nullptr, r};
        if (built.m_last)
            built.m_last->next = item;
        else
            built.m_first = item;
        built.m_last = item;
        ++built.m_count;
    }
    built.m_bounds = writer.bounds();
    result.expropriate(built);
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
    move(m_bounds);
    for (Item* it = m_first; it; it = it->next)
        move(it->value);
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
