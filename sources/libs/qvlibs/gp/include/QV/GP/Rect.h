#pragma once

#include <algorithm>
#include <cstdint>

namespace QV::GP {

// A rectangle of pixels; right and bottom are exclusive.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool isEmpty() const noexcept { return left >= right || top >= bottom; }

    // Both must hold pixels for two rectangles to share any.
    bool overlaps(const Rect& o) const noexcept
    {
        return !isEmpty() && !o.isEmpty() && left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }

    bool contains(const Rect& o) const noexcept
    {
        return left <= o.left && top <= o.top && right >= o.right && bottom >= o.bottom;
    }

    // The common part; callers test it with isEmpty().
    Rect intersection(const Rect& o) const noexcept
    {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace QV::GP
