#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>

#include <cstdint>

namespace QV::UIA {

class Picture;

// The ways a combiner puts one picture's pixels onto another. Each area
// operation takes an area already cut to both pictures: rect in the target's
// origin-relative coordinates, the source point in the source's.
namespace PictureCombinerFunctors {

// Copies the source; a source whose alpha channel counts is put over the
// target instead. Its area operation is Picture::copyAreaUC.
struct CopySource
{
};

// Mixes the source into the target by the product of the two alphas; the
// target's alpha stays.
struct BlendUsingAlpha
{
    void combineArea(Picture& target, const GP::Rect& rect, const Picture& source,
                     const GP::Point& sourcePoint) const;
};

// Mixes one dye colour into the target, weighted by the source's alpha (the
// mask) times the dye's alpha; the target's alpha stays.
struct DyeUsingAlphaMask
{
    explicit DyeUsingAlphaMask(std::uint32_t dyeColour) noexcept : dye(dyeColour) {}

    void combineArea(Picture& target, const GP::Rect& rect, const Picture& source,
                     const GP::Point& sourcePoint) const;

    std::uint32_t dye = 0;
};

} // namespace PictureCombinerFunctors

} // namespace QV::UIA
