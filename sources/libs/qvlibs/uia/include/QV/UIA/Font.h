#pragma once

#include <QV/GP/CharSequence.h>
#include <QV/UIA/DETAIL/FreeType.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace QV::GP {
class Stream;
struct Rect;
} // namespace QV::GP

namespace QV::UIA {

class Picture;

// A font file at one pixel size, measured in whole pixels and drawn into
// pictures. Text is UTF-8, decoded into code points that are each drawn with
// their own glyph and advanced by their own advance (no shaping, kerning or
// fallback font). Malformed UTF-8 is shown, never raised: each broken
// sequence stands as U+FFFD, and a character cut short by the end of the text
// ends it. A font that could not be loaded measures every text as 0 wide and
// draws nothing.
//
// The font follows the backing scale of the window it is drawn for; faces of
// every scale met are kept, so switching back costs a map lookup.
//
// Thread affinity: main thread; fonts and their faces are not locked.
class Font
{
public:
    struct CreateData
    {
        // The font's key when the resource id is 0: the resolved path of its
        // file, so that files of one name in two folders stay apart.
        std::string name;
        // Id of a "TTFd" resource; 0 for none.
        std::uint32_t resourceId = 0;
        std::int32_t pixelSize = 0;
        std::uint32_t flags = 0;
        // The registry the font's file and faces are shared through, normally
        // getSystemFontEngine().handle(); not owned.
        DETAIL::FreeType* engine = nullptr;
    };

    static constexpr std::uint32_t kFlagUnderline = 0x4;
    static constexpr std::uint32_t kFlagHinting = 0x10;

    enum eRounding : int
    {
        eRoundNearest = 0,
        // The character under x stays out.
        eRoundDown = 1,
        // The character under x is included.
        eRoundUp = 2,
    };

    // Horizontal: left wins over right, neither centres. Vertical: bottom
    // wins over top, neither centres.
    enum eAlignment : std::uint32_t
    {
        eAlignCenter = 0,
        eAlignRight = 0x1,
        eAlignBottom = 0x10,
        eAlignTop = 0x100,
        eAlignLeft = 0x1000,
    };

    // Both load at once; a font whose loading failed stays usable and empty.
    explicit Font(const CreateData& data);
    Font(GP::Stream& stream, const CreateData& data);
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    ~Font();

    // From the "TTFd" resource of the record's id. False when the font is
    // loaded already, the id is 0, the resource is missing or unreadable, or
    // FreeType refuses it.
    bool create(const CreateData& data);
    // From the whole stream, which the caller keeps. False as above.
    bool create(GP::Stream& stream, const CreateData& data);

    // Makes the face for the scale current, creating it on first use.
    void setBackingScaleFactor(float scale) const;
    float getBackingScaleFactor() const noexcept { return m_backingScale; }

    // Line height in pixels at the current scale; 10 without a face.
    int getCharHeight() const;
    // Width of the text up to length bytes, a NUL or a newline, whichever
    // comes first; a negative length measures up to the NUL or newline.
    int getStringWidth(const char* text, int length) const;
    // Width of the widest of the text's lines.
    int getStringWidthMultiline(const std::string& text) const;
    // The byte offset of the character boundary at pixel x of the text's
    // first line, rounded as asked; always on a code-point boundary.
    int getCharPos(const char* text, int x, eRounding rounding) const;

    // The pixel offset at which one line of text (up to a NUL or a newline)
    // starts when aligned in a field of the width: 0 for left alignment and
    // when the text does not fit.
    int getHorizontalAlignmentOffset(const char* text, eAlignment alignment, int width) const;
    // Draws one glyph with its pen at x and its baseline at y, blended over
    // the picture inside its clip (or inside the picture when none is set),
    // with the underline when the font has one.
    void renderChar(Picture& picture, int x, int y, const DETAIL::FTCharBitmap& glyph, std::uint32_t colour) const;
    // Draws the text's lines inside rect, aligned as asked, with lineSpacing
    // extra pixels between lines (negative moves them closer). Lines break at
    // newlines only; what does not fit is cut at rect's edges. The picture's
    // origin and clip are as they were afterwards.
    void renderTextMultiline(Picture& picture, const GP::Rect& rect, const GP::CharSequence<char>& text,
                             std::uint32_t colour, eAlignment alignment, int lineSpacing) const;

    // The face of the current scale, or null.
    DETAIL::FTRenderCache* getRenderCache() const;

private:
    bool allocateFont(const CreateData& data, DETAIL::FTFontBytes bytes);
    // Sum of the glyph widths of one line from the reader's position, ending
    // at a newline, the end of the text, a NUL when asked, or as soon as the
    // sum reaches limit.
    template <typename Reader>
    int measureLine(Reader reader, DETAIL::FTRenderCache* cache, bool stopAtNul, int limit) const;

    DETAIL::FreeType* m_engine = nullptr;
    mutable std::map<float, std::shared_ptr<DETAIL::FTRenderCache>> m_renderCaches;
    // The face of m_backingScale, or null when it failed.
    mutable DETAIL::FTRenderCache* m_current = nullptr;
    std::uint32_t m_resourceId = 0;
    std::string m_name;
    std::int32_t m_pixelSize = 0;
    mutable float m_backingScale = 1.0F;
    bool m_underline = false;
    bool m_hinting = false;
};

constexpr Font::eAlignment operator|(Font::eAlignment a, Font::eAlignment b) noexcept
{
    return static_cast<Font::eAlignment>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

} // namespace QV::UIA
