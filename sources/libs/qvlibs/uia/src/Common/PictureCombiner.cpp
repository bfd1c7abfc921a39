#include <QV/UIA/PictureCombiner.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

namespace QV::UIA {

namespace {

// Blocks narrower or lower than this are laid out side by side into a larger
// block before tiling, so that the functors run over long rows: the functors
// work on each pixel alone, so the result is the same.
constexpr int kTileWidth = 64;
constexpr int kTileHeight = 8;

std::int32_t hold(std::int64_t v) noexcept
{
    return std::int32_t(
        std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A picture holding copies of the block of src, cols x rows of them, with the
// properties that decide how the functors treat it.
void layOut(Picture& out, const Picture& src, const GP::Rect& block, int cols, int rows)
{
    const int w = block.right - block.left;
    const int h = block.bottom - block.top;
    static_cast<PictureProperties&>(out) = src;
    out.setUseLegacyAlphaCompositing(src.getUseLegacyAlphaCompositing());
    if (!out.setSize(w * cols, h * rows, true))
        return;
    for (int y = 0; y < h * rows; ++y) {
        const std::uint32_t* from = src.pixelAt(block.left, block.top + y % h);
        std::uint32_t* to = out.getRow(y);
        for (int c = 0; c < cols; ++c)
            std::memcpy(to + std::ptrdiff_t(c) * w, from, std::size_t(w) * sizeof *to);
    }
}

int positiveMod(std::int64_t a, int b) noexcept
{
    const std::int64_t r = a % b;
    return int(r < 0 ? r + b : r);
}

} // namespace

template <typename Functor>
void PictureCombiner<Functor>::combineArea(const GP::Rect& rect, const Picture& src, const GP::Point& sourcePoint)
{
    if constexpr (std::is_same_v<Functor, PictureCombinerFunctors::CopySource>)
        m_target.copyAreaUC(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, src, sourcePoint.x,
                            sourcePoint.y);
    else
        m_functor.combineArea(m_target, rect, src, sourcePoint);
}

template <typename Functor>
void PictureCombiner<Functor>::combine(int x, int y, int w, int h, const Picture& src, int sx, int sy)
{
    if (w < 1 || h < 1 || src.getPixels() == nullptr || m_target.getPixels() == nullptr)
        return;
    // The area is cut to the source first, then to the target.
    const GP::Rect sourceBounds = src.getBounds();
    std::int64_t left = x, top = y, sourceLeft = sx, sourceTop = sy;
    std::int64_t width = w, height = h;
    if (sourceLeft < sourceBounds.left) {
        left += sourceBounds.left - sourceLeft;
        width -= sourceBounds.left - sourceLeft;
        sourceLeft = sourceBounds.left;
    }
    if (sourceTop < sourceBounds.top) {
        top += sourceBounds.top - sourceTop;
        height -= sourceBounds.top - sourceTop;
        sourceTop = sourceBounds.top;
    }
    width = std::min<std::int64_t>(width, sourceBounds.right - sourceLeft);
    height = std::min<std::int64_t>(height, sourceBounds.bottom - sourceTop);
    if (width < 1 || height < 1)
        return;
    GP::Rect rect{hold(left), hold(top), hold(left + width), hold(top + height)};
    int dx = 0;
    int dy = 0;
    if (!m_target.checkClipRect(rect, &dx, &dy))
        return;
    const GP::Point sourcePoint{hold(sourceLeft - dx), hold(sourceTop - dy)};

    if (&src == &m_target) {
        // Within one picture the rows would be read after being written:
        // work from a copy of the source area.
        Picture copy;
        layOut(copy, src,
               {sourcePoint.x, sourcePoint.y, sourcePoint.x + (rect.right - rect.left),
                sourcePoint.y + (rect.bottom - rect.top)},
               1, 1);
        if (copy.getPixels() != nullptr)
            combineArea(rect, copy, {0, 0});
        return;
    }
    combineArea(rect, src, sourcePoint);
}

template <typename Functor>
void PictureCombiner<Functor>::combineAndRepeatSource(int x, int y, int w, int h, const Picture& src, int sx, int sy,
                                                      int sw, int sh)
{
    if (w < 1 || h < 1 || sw < 1 || sh < 1)
        return;
    // A block reaching outside the source is cut to it.
    const GP::Rect block =
        GP::Rect{sx, sy, hold(std::int64_t(sx) + sw), hold(std::int64_t(sy) + sh)}.intersection(src.getBounds());
    if (block.isEmpty())
        return;
    GP::Rect area{x, y, hold(std::int64_t(x) + w), hold(std::int64_t(y) + h)};
    int dx = 0;
    int dy = 0;
    if (!m_target.checkClipRect(area, &dx, &dy))
        return;
    const int bw = block.right - block.left;
    const int bh = block.bottom - block.top;
    const int phaseX = positiveMod(-std::int64_t(dx), bw);
    const int phaseY = positiveMod(-std::int64_t(dy), bh);

    const int areaWidth = area.right - area.left;
    const int areaHeight = area.bottom - area.top;
    const int cols = bw < kTileWidth && areaWidth > bw ? (kTileWidth + bw - 1) / bw : 1;
    const int rows = bh < kTileHeight && areaHeight > bh ? (kTileHeight + bh - 1) / bh : 1;
    if (cols > 1 || rows > 1 || &src == &m_target) {
        Picture laidOut;
        layOut(laidOut, src, block, cols, rows);
        if (laidOut.getPixels() != nullptr)
            tile(area, laidOut, {0, 0, bw * cols, bh * rows}, phaseX, phaseY);
        return;
    }
    tile(area, src, block, phaseX, phaseY);
}

template <typename Functor>
void PictureCombiner<Functor>::tile(const GP::Rect& area, const Picture& src, const GP::Rect& block, int phaseX,
                                    int phaseY)
{
    const int bw = block.right - block.left;
    const int bh = block.bottom - block.top;
    for (int top = area.top, by = phaseY; top < area.bottom; by = 0) {
        const int pieceHeight = std::min(bh - by, area.bottom - top);
        for (int left = area.left, bx = phaseX; left < area.right; bx = 0) {
            const int pieceWidth = std::min(bw - bx, area.right - left);
            combineArea({left, top, left + pieceWidth, top + pieceHeight}, src, {block.left + bx, block.top + by});
            left += pieceWidth;
        }
        top += pieceHeight;
    }
}

template <typename Functor>
void PictureCombiner<Functor>::combineApplySourceAnimations(int x, int y, const Picture& src, unsigned int frame,
                                                            const GP::Rect* srcRect)
{
    const GP::Rect bounds = src.getBounds();
    GP::Rect area = srcRect != nullptr ? *srcRect : bounds;
    std::int64_t sx = area.left;
    std::int64_t sy = area.top;
    std::int64_t width = std::int64_t(area.right) - area.left;
    std::int64_t height = std::int64_t(area.bottom) - area.top;
    const unsigned int count = src.getNumAnimations();
    if (count > 1) {
        const unsigned int index = std::min(frame, count - 1);
        if (src.getAnimationOrientation() != PictureProperties::eVertical)
            sx += std::int64_t(index) * src.getAnimationWidth();
        else
            sy += std::int64_t(index) * src.getAnimationHeight();
        if (srcRect == nullptr) {
            width = src.getAnimationWidth();
            height = src.getAnimationHeight();
        }
        if (sx < bounds.left || sx >= bounds.right || sy < bounds.top || sy >= bounds.bottom)
            return;
    }
    combine(x, y, hold(width), hold(height), src, hold(sx), hold(sy));
}

template <typename Functor>
void PictureCombiner<Functor>::combineStretchedApplySourceAnimation(const GP::Rect& destRect, const Picture& src,
                                                                    unsigned int frame, const GP::Rect* clipRect)
{
    const GP::Rect bounds = src.getBounds();
    const unsigned int index = std::min(frame, src.getFrameCount() - 1);
    const int fw = int(src.getAnimationWidth());
    const int fh = int(src.getAnimationHeight());
    const bool vertical = src.getAnimationOrientation() == PictureProperties::eVertical;
    const int fx = hold(bounds.left + (vertical ? 0 : std::int64_t(index) * fw));
    const int fy = hold(bounds.top + (vertical ? std::int64_t(index) * fh : 0));

    // The target's clip is narrowed for the time of the drawing and put back
    // as it was afterwards.
    const bool hadClip = m_target.isClipSet();
    const GP::Rect oldClip = m_target.getClipRect();
    const auto narrow = [&](const GP::Rect& to) {
        m_target.setClipRect(to.intersection(hadClip ? oldClip : m_target.getBounds()));
    };
    const auto restore = [&] {
        if (hadClip)
            m_target.setClipRect(oldClip);
        else
            m_target.resetClipRect();
    };

    if (src.getResizeBits() == 0) {
        if (clipRect != nullptr)
            narrow(*clipRect);
        combine(destRect.left, destRect.top, fw, fh, src, fx, fy);
        if (clipRect != nullptr)
            restore();
        return;
    }

    const Picture::Borders b = src.getBorders();
    const std::int64_t iw = std::int64_t(fw) - b.left - b.right;
    const std::int64_t ih = std::int64_t(fh) - b.top - b.bottom;
    if (iw < 1 || ih < 1)
        return;
    const std::vector<std::uint32_t>& flags = src.getEmptyAreaFlags();
    const std::uint32_t mask = index < flags.size() ? flags[index] : 0;
    narrow(clipRect != nullptr ? *clipRect : destRect);

    // Columns and rows of the nine cells: where each starts in the target
    // and how large it is there, and where its block lies in the source.
    const std::int64_t dl = destRect.left, dt = destRect.top, dr = destRect.right, db = destRect.bottom;
    const std::int64_t columnAt[3] = {dl, dl + b.left, dr - b.right};
    const std::int64_t columnWidth[3] = {b.left, dr - b.right - dl - b.left, b.right};
    const int blockX[3] = {fx, hold(fx + std::int64_t(b.left)), hold(fx + std::int64_t(b.left) + iw)};
    const int blockWidth[3] = {b.left, int(iw), b.right};
    const std::int64_t rowAt[3] = {dt, dt + b.top, db - b.bottom};
    const std::int64_t rowHeight[3] = {b.top, db - b.bottom - dt - b.top, b.bottom};
    const int blockY[3] = {fy, hold(fy + std::int64_t(b.top)), hold(fy + std::int64_t(b.top) + ih)};
    const int blockHeight[3] = {b.top, int(ih), b.bottom};

    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if ((mask & (1u << (3 * row + column))) != 0 || blockWidth[column] < 1 || blockHeight[row] < 1)
                continue;
            const int x = hold(columnAt[column]);
            const int y = hold(rowAt[row]);
            if (row != 1 && column != 1)
                combine(x, y, blockWidth[column], blockHeight[row], src, blockX[column], blockY[row]);
            else
                combineAndRepeatSource(x, y, hold(columnWidth[column]), hold(rowHeight[row]), src, blockX[column],
                                       blockY[row], blockWidth[column], blockHeight[row]);
        }
    }
    restore();
}

template class PictureCombiner<PictureCombinerFunctors::CopySource>;
template class PictureCombiner<PictureCombinerFunctors::BlendUsingAlpha>;
template class PictureCombiner<PictureCombinerFunctors::DyeUsingAlphaMask>;

template <typename Functor>
void Picture::putPicture(int x, int y, const Picture& src, unsigned int frame, const GP::Rect* srcRect)
{
    Functor functor;
    PictureCombiner<Functor>(*this, functor).combineApplySourceAnimations(x, y, src, frame, srcRect);
}

template <typename Functor>
void Picture::putStretched(const GP::Rect& destRect, const Picture& src, unsigned int frame, const GP::Rect* clipRect)
{
    Functor functor;
    PictureCombiner<Functor>(*this, functor).combineStretchedApplySourceAnimation(destRect, src, frame, clipRect);
}

template void Picture::putPicture<PictureCombinerFunctors::CopySource>(int, int, const Picture&, unsigned int,
                                                                      const GP::Rect*);
template void Picture::putPicture<PictureCombinerFunctors::BlendUsingAlpha>(int, int, const Picture&, unsigned int,
                                                                           const GP::Rect*);
template void Picture::putStretched<PictureCombinerFunctors::CopySource>(const GP::Rect&, const Picture&,
                                                                        unsigned int, const GP::Rect*);
template void Picture::putStretched<PictureCombinerFunctors::BlendUsingAlpha>(const GP::Rect&, const Picture&,
                                                                             unsigned int, const GP::Rect*);

} // namespace QV::UIA
