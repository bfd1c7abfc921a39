#include <QV/UIA/Font.h>

#include <QV/GP/Rect.h>
#include <QV/UIA/Picture.h>

#include "GlyphTextReader.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace QV::UIA {

namespace {

bool hasBit(Font::eAlignment alignment, Font::eAlignment bit)
{
    return (static_cast<std::uint32_t>(alignment) & static_cast<std::uint32_t>(bit)) != 0;
}

// The start of a line of width w aligned in a field of the given width.
long long alignedOffset(Font::eAlignment alignment, long long width, long long w)
{
    if (hasBit(alignment, Font::eAlignLeft) || w >= width)
        return 0;
    const long long rem = width - w;
    return hasBit(alignment, Font::eAlignRight) ? rem : (rem + 1) / 2;
}

// Restores a picture's clip (and origin) on every way out of a drawing.
class ClipRestorer
{
public:
    explicit ClipRestorer(Picture& picture)
        : m_picture(picture), m_origin(picture.getOrigin()), m_clipSet(picture.isClipSet()),
          m_clip(picture.getClipRect())
    {
    }
    ClipRestorer(const ClipRestorer&) = delete;
    ClipRestorer& operator=(const ClipRestorer&) = delete;
    ~ClipRestorer()
    {
        m_picture.setOrigin(m_origin);
        if (m_clipSet)
            m_picture.setClipRect(m_clip);
        else
            m_picture.resetClipRect();
    }

    bool clipSet() const noexcept { return m_clipSet; }
    const GP::Rect& clip() const noexcept { return m_clip; }

private:
    Picture& m_picture;
    GP::Point m_origin;
    bool m_clipSet;
    GP::Rect m_clip;
};

bool fitsInt(long long value)
{
    return value >= INT_MIN && value <= INT_MAX;
}

} // namespace

template <typename Reader>
int Font::measureLine(Reader reader, DETAIL::FTRenderCache* cache, bool stopAtNul, int limit) const
{
    int sum = 0;
    char32_t cp;
    while (sum < limit && reader.next(cp)) {
        if (cp == U'\n' || (stopAtNul && cp == 0))
            break;
        if (cache != nullptr) {
            const DETAIL::FTCharBitmap* glyph = cache->getCharBitmap(cp);
            if (glyph != nullptr)
                sum += DETAIL::pixelWidth(*glyph);
        }
    }
    return sum;
}

int Font::getHorizontalAlignmentOffset(const char* text, eAlignment alignment, int width) const
{
    if (hasBit(alignment, eAlignLeft) || text == nullptr)
        return 0;
    const int w = measureLine(DETAIL::GlyphTextReader(text, text + std::strlen(text)), m_current, true, width);
    return static_cast<int>(alignedOffset(alignment, width, w));
}

void Font::renderChar(Picture& picture, int x, int y, const DETAIL::FTCharBitmap& glyph, std::uint32_t colour) const
{
    if (m_underline && m_current != nullptr) {
        const long long top = static_cast<long long>(y) - m_current->underlinePosition();
        if (fitsInt(top))
            picture.fillArea(x, static_cast<int>(top), DETAIL::pixelWidth(glyph), m_current->underlineThickness(),
                             colour);
    }
    if (glyph.rows <= 0 || glyph.width <= 0)
        return;
    // A glyph made by hand must still hold the rows it claims.
    if (glyph.pitch < glyph.width ||
        glyph.pixels.size() < static_cast<std::size_t>(glyph.rows) * static_cast<std::size_t>(glyph.pitch))
        return;
    const unsigned int alpha = colour >> 24;
    if (alpha == 0)
        return;
    // Without a clip the picture's own bounds, wherever its origin lies,
    // keep the writes inside its pixels.
    const GP::Rect clip = picture.getEffectiveClip();
    if (clip.isEmpty())
        return;
    const long long x0 = static_cast<long long>(x) + glyph.left;
    const long long y0 = static_cast<long long>(y) - glyph.top;
    const long long rowBegin = std::max<long long>(0, clip.top - y0);
    const long long rowEnd = std::min<long long>(glyph.rows, clip.bottom - y0);
    const long long columnBegin = std::max<long long>(0, clip.left - x0);
    const long long columnEnd = std::min<long long>(glyph.width, clip.right - x0);
    if (rowBegin >= rowEnd || columnBegin >= columnEnd)
        return;
    const unsigned int red = (colour >> 16) & 0xFF;
    const unsigned int green = (colour >> 8) & 0xFF;
    const unsigned int blue = colour & 0xFF;
    for (long long r = rowBegin; r < rowEnd; ++r) {
        const unsigned char* coverage = glyph.pixels.data() + r * glyph.pitch;
        std::uint32_t* row = picture.pixelAt(0, static_cast<int>(y0 + r)) + x0;
        for (long long c = columnBegin; c < columnEnd; ++c) {
            const unsigned int product = coverage[c] * alpha;
            if (product < 255)
                continue;
            const unsigned int a = product / 255;
            const unsigned int inverse = 256 - a;
            const std::uint32_t d = row[c];
            const unsigned int outRed = (a * red + inverse * ((d >> 16) & 0xFF)) >> 8;
            const unsigned int outGreen = (a * green + inverse * ((d >> 8) & 0xFF)) >> 8;
            const unsigned int outBlue = (a * blue + inverse * (d & 0xFF)) >> 8;
            const unsigned int outAlpha = std::min(255u, (d >> 24) + a);
            row[c] = (outAlpha << 24) | (outRed << 16) | (outGreen << 8) | outBlue;
        }
    }
}

void Font::renderTextMultiline(Picture& picture, const GP::Rect& rect, const GP::CharSequence<char>& text,
                               std::uint32_t colour, eAlignment alignment, int lineSpacing) const
{
    DETAIL::FTRenderCache* cache = m_current;
    if (cache == nullptr || text.length() == 0 || text.data()[0] == '\0' || rect.isEmpty())
        return;
    const ClipRestorer restorer(picture);
    if (!restorer.clipSet()) {
        picture.setClipRect(rect);
    } else {
        const GP::Rect common = rect.intersection(restorer.clip());
        picture.setClipRect(common.isEmpty() ? GP::Rect{} : common);
    }

    const char* const begin = text.data();
    const char* const end = begin + text.length();
    const long long lines = 1 + std::count(begin, end, '\n');
    const long long h = cache->lineHeight();
    const long long advance = h + lineSpacing;
    const long long total = h * lines + (lines - 1) * lineSpacing;
    // Every alignment adds the ascent to an edge: at the ends of the
    // coordinate range the sum leaves int.
    const long long ascent = cache->ascent();
    const long long top = rect.top;
    long long y;
    if (hasBit(alignment, eAlignBottom))
        y = rect.bottom - total + ascent;
    else if (hasBit(alignment, eAlignTop))
        y = top + ascent;
    else
        y = top + ascent + (rect.bottom - total - top) / 2;
    if (y > rect.bottom)
        return;

    const long long width = static_cast<long long>(rect.right) - rect.left;
    DETAIL::GlyphTextReader reader(begin, end);
    char32_t cp;
    for (;;) {
        bool newline = false;
        if (y + h < rect.top) {
            // The line lies wholly above the rectangle.
            while (reader.next(cp)) {
                if (cp == U'\n') {
                    newline = true;
                    break;
                }
            }
        } else {
            long long x = rect.left;
            if (!hasBit(alignment, eAlignLeft)) {
                const int limit = static_cast<int>(std::min<long long>(width, INT_MAX));
                x += alignedOffset(alignment, width, measureLine(reader, cache, false, limit));
            }
            while (reader.next(cp)) {
                if (cp == U'\n') {
                    newline = true;
                    break;
                }
                // Characters at or past the right edge are read but neither
                // drawn nor advanced over.
                if (x >= rect.right)
                    continue;
                const DETAIL::FTCharBitmap* glyph = cache->getCharBitmap(cp);
                if (glyph == nullptr)
                    continue;
                if (fitsInt(y))
                    renderChar(picture, static_cast<int>(x), static_cast<int>(y), *glyph, colour);
                x += DETAIL::pixelWidth(*glyph);
            }
        }
        if (!newline)
            return;
        // Consecutive newlines leave empty lines; a trailing one ends the
        // drawing.
        y += advance;
        while (!reader.atEnd() && reader.peekByte() == '\n') {
            reader.skipByte();
            y += advance;
        }
        if (reader.atEnd() || y > rect.bottom)
            return;
    }
}

} // namespace QV::UIA
