#include <QV/UIA/Picture.h>

#include <algorithm>
#include <new>

namespace QV::UIA {

bool Picture::reallocData(int width, int height, bool shrink)
{
    // Computed in 64 bits: in 32 bits a 32768 x 32768 picture would ask for
    // 0 bytes and every later write would run past the buffer.
    if (width < 0 || height < 0)
        return false;
    const std::uint64_t need = std::uint64_t(width) * std::uint64_t(height) * 4u;
    if (need > kMaxBytes)
        return false;

    if (m_capacity != need && (m_capacity < need || shrink)) {
        // The old buffer goes first so that two large ones never live at
        // once; until the new one stands the picture reads as empty.
        m_buffer.reset();
        m_pixels = nullptr;
        m_width = 0;
        m_height = 0;
        m_capacity = 0;
        const std::size_t bytes = need > 0 ? std::size_t(need) : 16u;
        m_buffer.reset(new (std::nothrow) std::uint8_t[bytes]);
        if (!m_buffer)
            return false;
        m_capacity = std::uint32_t(bytes);
        m_pixels = reinterpret_cast<std::uint32_t*>(m_buffer.get());
        return true;
    }
    if (!m_buffer) {
        m_capacity = 0;
        return false;
    }
    m_pixels = reinterpret_cast<std::uint32_t*>(m_buffer.get());
    return true;
}

bool Picture::setSize(int width, int height, bool shrink)
{
    if (!reallocData(width, height, shrink))
        return false;
    m_width = width;
    m_height = height;
    m_origin = {};
    resetClipRect();
    return true;
}

unsigned int Picture::getAnimationWidth() const noexcept
{
    if (m_orientation == eVertical)
        return unsigned(m_width);
    return unsigned(m_width) / getFrameCount();
}

unsigned int Picture::getAnimationHeight() const noexcept
{
    if (m_orientation == eVertical)
        return unsigned(m_height) / getFrameCount();
    return unsigned(m_height);
}

GP::Rect Picture::getBounds() const noexcept
{
    return {-m_origin.x, -m_origin.y, m_width - m_origin.x, m_height - m_origin.y};
}

GP::Rect Picture::getEffectiveClip() const noexcept
{
    // A set clip was cut to the picture when it was set; cutting it again
    // keeps drawing inside the buffer whatever happened since.
    return m_clipSet ? m_clipRect.intersection(getBounds()) : getBounds();
}

void Picture::setClipRect(const GP::Rect& r)
{
    m_clipSet = true;
    GP::Rect p = getBounds();
    if (p.right <= p.left || p.bottom <= 0 || p.right <= 0 || p.bottom <= p.top) {
        m_clipRect = {};
        return;
    }
    // A clip never reaches left of or above the origin.
    p.left = std::max(p.left, 0);
    p.top = std::max(p.top, 0);
    if (p.isEmpty() || r.isEmpty() || !r.overlaps(p)) {
        m_clipRect = {};
        return;
    }
    m_clipRect = r.intersection(p);
}

void Picture::resetClipRect()
{
    m_clipSet = false;
    m_clipRect = {0, 0, m_width, m_height};
}

void Picture::setOrigin(const GP::Point& origin)
{
    if (!m_clipSet) {
        m_origin = origin;
        return;
    }
    // The clip stays on the same pixels.
    const int dx = m_origin.x - origin.x;
    const int dy = m_origin.y - origin.y;
    const GP::Rect moved{m_clipRect.left + dx, m_clipRect.top + dy, m_clipRect.right + dx, m_clipRect.bottom + dy};
    m_origin = origin;
    setClipRect(moved);
}

Picture::Borders Picture::getBorders() const noexcept
{
    Borders b;
    if (isHorzResizable()) {
        b.left = std::max(m_fixedLeft, 0);
        b.right = std::max(m_fixedRight, 0);
    }
    if (isVertResizable()) {
        b.top = std::max(m_fixedTop, 0);
        b.bottom = std::max(m_fixedBottom, 0);
    }
    return b;
}

void Picture::initEmptyAreaFlags()
{
    m_emptyAreaFlags.clear();
    if (m_pixels == nullptr || m_width <= 0 || m_height <= 0 || m_resizeBits == 0 || !m_alphaChannel)
        return;
    const bool vertical = m_orientation == eVertical;
    const int frameWidth = int(getAnimationWidth());
    const int frameHeight = int(getAnimationHeight());
    const Borders b = getBorders();
    // Borders beyond the frame leave no middle band: nothing to flag then.
    // A count of frames larger than the picture gives frames of size 0 and
    // stops here too, before any flag is allocated.
    if (std::int64_t(frameWidth) - b.left - b.right < 1 || std::int64_t(frameHeight) - b.top - b.bottom < 1)
        return;

    const int columnEnds[3] = {b.left, frameWidth - b.right, frameWidth};
    const int rowEnds[3] = {b.top, frameHeight - b.bottom, frameHeight};
    const int frames = int(getFrameCount());
    m_emptyAreaFlags.assign(std::size_t(frames), 511u);
    for (int frame = 0; frame < frames; ++frame) {
        const int fx = vertical ? 0 : frame * frameWidth;
        const int fy = vertical ? frame * frameHeight : 0;
        std::uint32_t mask = 511u;
        int rowBand = 0;
        for (int y = 0; y < frameHeight; ++y) {
            while (y >= rowEnds[rowBand])
                ++rowBand;
            const std::uint32_t* row = getRow(fy + y) + fx;
            int x = 0;
            for (int column = 0; column < 3; ++column) {
                const std::uint32_t bit = 1u << (3 * rowBand + column);
                const int end = columnEnds[column];
                if ((mask & bit) != 0) {
                    for (; x < end; ++x) {
                        if (row[x] >= 0x01000000u) {
                            mask &= ~bit;
                            break;
                        }
                    }
                }
                x = end;
            }
        }
        m_emptyAreaFlags[std::size_t(frame)] = mask;
    }
}

} // namespace QV::UIA
