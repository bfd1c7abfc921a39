#include <QV/UIA/PictureCombinerFunctors.h>

#include <QV/UIA/Picture.h>

#include "PixelRows.h"

namespace QV::UIA::PictureCombinerFunctors {

namespace Rows = DETAIL::PixelRows;

void BlendUsingAlpha::combineArea(Picture& target, const GP::Rect& rect, const Picture& source,
                                  const GP::Point& sourcePoint) const
{
    const std::size_t count = std::size_t(rect.right - rect.left);
    for (int row = 0; row < rect.bottom - rect.top; ++row)
        Rows::blendRow(target.pixelAt(rect.left, rect.top + row), source.pixelAt(sourcePoint.x, sourcePoint.y + row),
                       count);
}

void DyeUsingAlphaMask::combineArea(Picture& target, const GP::Rect& rect, const Picture& source,
                                    const GP::Point& sourcePoint) const
{
    if ((dye >> 24) == 0)
        return;
    const std::size_t count = std::size_t(rect.right - rect.left);
    for (int row = 0; row < rect.bottom - rect.top; ++row)
        Rows::dyeRow(target.pixelAt(rect.left, rect.top + row), source.pixelAt(sourcePoint.x, sourcePoint.y + row),
                     count, dye);
}

} // namespace QV::UIA::PictureCombinerFunctors
