#pragma once

#include <QV/GP/Rect.h>
#include <QV/UIA/Picture.h>
#include <QV/UIA/PictureCombinerFunctors.h>

namespace QV::UIA {

// Puts areas of a source picture onto a target picture through a functor
// (one of PictureCombinerFunctors). Every operation keeps inside the target
// (its clip when set, else its bounds) and inside the source, whatever the
// coordinates given. Built for the three functors only.
template <typename Functor>
class PictureCombiner
{
public:
    PictureCombiner(Picture& target, Functor& functor) noexcept : m_target(target), m_functor(functor) {}
    PictureCombiner(const PictureCombiner&) = delete;
    PictureCombiner& operator=(const PictureCombiner&) = delete;
    virtual ~PictureCombiner() = default;

    // The w x h area at (sx, sy) of src put at (x, y).
    void combine(int x, int y, int w, int h, const Picture& src, int sx, int sy);
    // The w x h area at (x, y) tiled with the sw x sh block at (sx, sy) of
    // src, starting at the area's top-left corner; clipping keeps the tiles
    // where they would be without it.
    void combineAndRepeatSource(int x, int y, int w, int h, const Picture& src, int sx, int sy, int sw, int sh);
    // One animation frame of src (or srcRect of it, moved to the frame) put
    // at (x, y); frames past the last draw the last.
    void combineApplySourceAnimations(int x, int y, const Picture& src, unsigned int frame, const GP::Rect* srcRect);
    // One frame drawn into destRect: at its natural size from destRect's
    // top-left corner, or, for a resizable source, by its nine cells with the
    // fixed borders at their natural size and edges and centre repeated.
    // clipRect, when given, narrows the target's clip for the time of it.
    void combineStretchedApplySourceAnimation(const GP::Rect& destRect, const Picture& src, unsigned int frame,
                                              const GP::Rect* clipRect);

private:
    void combineArea(const GP::Rect& rect, const Picture& src, const GP::Point& sourcePoint);
    void tile(const GP::Rect& area, const Picture& src, const GP::Rect& block, int phaseX, int phaseY);

    Picture& m_target;
    Functor& m_functor;
};

} // namespace QV::UIA
