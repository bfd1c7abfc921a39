// Drawing text: the glyph blend, clipping with and without a clip, the
// underline, multi-line layout and alignment, and a sample compared with a
// reference picture checked by eye.
#include "FontFixtures.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace QV::UIA {
namespace {

using FontTest::inkBounds;
using FontTest::whitePicture;

class FontDrawing : public ::testing::Test
{
protected:
    FontEngine m_engine;
    std::unique_ptr<Font> m_sans = FontTest::fontFromFile(FontTest::kDejaVuSans, 12, m_engine.handle());
    std::unique_ptr<Font> m_mono = FontTest::fontFromFile(FontTest::kDejaVuSansMono, 17, m_engine.handle());

    const DETAIL::FTCharBitmap& glyph(const Font& font, char32_t cp) const
    {
        return *font.getRenderCache()->getCharBitmap(cp);
    }
};

DETAIL::FTCharBitmap solidGlyph(int width, int rows, unsigned char coverage)
{
    DETAIL::FTCharBitmap g;
    g.advance = width * 64;
    g.top = rows;
    g.width = width;
    g.rows = rows;
    g.pitch = width;
    g.pixels.assign(std::size_t(width) * rows, coverage);
    return g;
}

TEST_F(FontDrawing, GlyphsBlendByCoverageTimesAlphaAndFaintPixelsAreLeftAlone)
{
    const auto picture = whitePicture(8, 8);
    picture->clear(0x80808080u);
    // Full coverage at full alpha: 255/256 of the colour, 1/256 of the old
    // value, alpha saturating.
    m_sans->renderChar(*picture, 0, 1, solidGlyph(1, 1, 255), 0xFF102030u);
    EXPECT_EQ(picture->getRow(0)[0], 0xFF102030u);
    // Half coverage at alpha 0x80 weighs 64: red (64 x 255 + 192 x 0x80) / 256.
    m_sans->renderChar(*picture, 1, 1, solidGlyph(1, 1, 128), 0x80FF0000u);
    EXPECT_EQ(picture->getRow(0)[1], 0xC09F6060u);
    // Products below 255 and colour alpha 0 leave the pixel as it was.
    m_sans->renderChar(*picture, 2, 1, solidGlyph(1, 1, 254), 0x01000000u);
    m_sans->renderChar(*picture, 3, 1, solidGlyph(1, 1, 255), 0x00FFFFFFu);
    EXPECT_EQ(picture->getRow(0)[2], 0x80808080u);
    EXPECT_EQ(picture->getRow(0)[3], 0x80808080u);
}

TEST_F(FontDrawing, GlyphsStayInsideTheClipOrElseInsideThePictureWhereverItsOriginLies)
{
    const auto picture = whitePicture(20, 20);
    picture->setClipRect({5, 5, 10, 10});
    m_sans->renderChar(*picture, 0, 20, solidGlyph(20, 20, 255), 0xFF000000u);
    EXPECT_EQ(inkBounds(*picture), (GP::Rect{5, 5, 10, 10}));

    // No clip and the origin moved: the glyph hangs over every edge.
    for (const GP::Point origin : {GP::Point{7, 9}, GP::Point{-6, -3}, GP::Point{40, 40}}) {
        picture->resetClipRect();
        picture->clear(0xFFFFFFFFu);
        picture->setOrigin(origin);
        m_sans->renderChar(*picture, -origin.x - 10, -origin.y + 30, solidGlyph(80, 80, 255), 0xFF000000u);
        EXPECT_EQ(inkBounds(*picture), (GP::Rect{0, 0, 20, 20}));
        picture->setOrigin({0, 0});
    }
    // A glyph placed at the ends of the coordinate range draws nothing.
    picture->clear(0xFFFFFFFFu);
    m_sans->renderChar(*picture, INT32_MAX - 2, INT32_MIN + 2, solidGlyph(9, 9, 255), 0xFF000000u);
    EXPECT_TRUE(inkBounds(*picture).isEmpty());

    // Nor does text laid out in a rectangle there, whatever its alignment:
    // baselines and pens lie beyond the 32-bit range on the way.
    const GP::Rect lowest{0, INT32_MAX - 4, 20, INT32_MAX};
    const GP::Rect highest{0, INT32_MIN, 20, INT32_MIN + 4};
    const GP::Rect rightmost{INT32_MAX - 4, 0, INT32_MAX, 20};
    const std::pair<GP::Rect, Font::eAlignment> rows[] = {
        {lowest, Font::eAlignTop},     {lowest, Font::eAlignBottom},  {lowest, Font::eAlignCenter},
        {highest, Font::eAlignTop},    {highest, Font::eAlignBottom}, {highest, Font::eAlignCenter},
        {rightmost, Font::eAlignRight}, {rightmost, Font::eAlignCenter},
    };
    for (const auto& [rect, alignment] : rows) {
        m_sans->renderTextMultiline(*picture, rect, FontTest::seq("Wg\nWg"), 0xFF000000u, alignment, 3);
        EXPECT_TRUE(inkBounds(*picture).isEmpty()) << rect.left << "," << rect.top << " " << alignment;
        EXPECT_FALSE(picture->isClipSet());
    }
}

TEST_F(FontDrawing, UnderlinedFontsUnderlineEveryGlyphAtTheFontsPosition)
{
    const auto underlined =
        FontTest::fontFromFile(FontTest::kDejaVuSans, 24, m_engine.handle(), Font::kFlagUnderline);
    const DETAIL::FTRenderCache* cache = underlined->getRenderCache();
    const auto picture = whitePicture(60, 40);
    // A space has no ink of its own: what is drawn is the underline.
    underlined->renderChar(*picture, 10, 20, glyph(*underlined, U' '), 0xFF000000u);
    const int top = 20 - cache->underlinePosition();
    EXPECT_EQ(inkBounds(*picture),
              (GP::Rect{10, top, 10 + DETAIL::pixelWidth(glyph(*underlined, U' ')), top + cache->underlineThickness()}));
    // The line height leaves room for it.
    EXPECT_GT(cache->lineHeight(), cache->ascent() - cache->underlinePosition());
}

TEST_F(FontDrawing, LinesFollowEachOtherByHeightAndSpacingAndEmptyLinesCount)
{
    const DETAIL::FTRenderCache* cache = m_mono->getRenderCache();
    const int h = cache->lineHeight();
    const int ascent = cache->ascent();
    const auto& a = glyph(*m_mono, U'a');
    const auto& b = glyph(*m_mono, U'b');
    for (const int spacing : {0, 3, -2}) {
        const auto picture = whitePicture(100, 200);
        m_mono->renderTextMultiline(*picture, {10, 10, 90, 190}, FontTest::seq("a\n\nb"), 0xFF000000u,
                                    Font::eAlignLeft | Font::eAlignTop, spacing);
        const GP::Rect inkA = inkBounds(*picture, 0xFFFFFFFFu, {0, 0, 100, 10 + ascent + 1});
        const GP::Rect inkB = inkBounds(*picture, 0xFFFFFFFFu, {0, 10 + ascent + 1, 100, 200});
        EXPECT_EQ(inkA.top, 10 + ascent - a.top) << spacing;
        EXPECT_EQ(inkA.left, 10 + a.left);
        EXPECT_EQ(inkB.top, 10 + ascent + 2 * (h + spacing) - b.top) << spacing;
    }
    // Bottom alignment counts three lines for the block.
    const auto picture = whitePicture(100, 200);
    m_mono->renderTextMultiline(*picture, {0, 0, 100, 200}, FontTest::seq("a\n\nb"), 0xFF000000u, Font::eAlignBottom, 0);
    EXPECT_EQ(inkBounds(*picture).bottom, 200 - 3 * h + ascent + 2 * h - b.top + b.rows);
}

TEST_F(FontDrawing, VerticalCentringCountsATrailingNewlineAsALine)
{
    const DETAIL::FTRenderCache* cache = m_mono->getRenderCache();
    const int h = cache->lineHeight();
    const auto& a = glyph(*m_mono, U'a');
    const auto picture = whitePicture(100, 100);
    m_mono->renderTextMultiline(*picture, {0, 0, 100, 100}, FontTest::seq("a\n"), 0xFF000000u, Font::eAlignLeft, 0);
    const int baseline = cache->ascent() + (100 - 2 * h) / 2;
    EXPECT_EQ(inkBounds(*picture).top, baseline - a.top);
    EXPECT_EQ(inkBounds(*picture).bottom, baseline - a.top + a.rows);
}

TEST_F(FontDrawing, HorizontalAlignmentAndLinesWiderThanTheRectangle)
{
    const auto& a = glyph(*m_mono, U'a');
    // Three 10-pixel glyphs in 35 pixels: centred 3 in, right-aligned 5 in.
    for (const auto& [alignment, offset] :
         {std::pair{Font::eAlignCenter, 3}, std::pair{Font::eAlignRight, 5}, std::pair{Font::eAlignLeft, 0}}) {
        const auto picture = whitePicture(60, 40);
        m_mono->renderTextMultiline(*picture, {10, 0, 45, 40}, FontTest::seq("aaa"), 0xFF000000u, alignment, 0);
        EXPECT_EQ(inkBounds(*picture).left, 10 + offset + a.left) << alignment;
    }
    // Too wide: from the left edge whatever the alignment, cut at the right.
    const auto picture = whitePicture(60, 40);
    m_mono->renderTextMultiline(*picture, {10, 0, 45, 40}, FontTest::seq("aaaaaaaa"), 0xFF000000u, Font::eAlignRight, 0);
    EXPECT_EQ(inkBounds(*picture).left, 10 + a.left);
    EXPECT_EQ(inkBounds(*picture).right, 45);
}

TEST_F(FontDrawing, TextTallerThanTheRectangleSkipsLinesAboveAndStopsBelow)
{
    const int h = m_mono->getCharHeight();
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "a\n";
    text += "a";
    const auto picture = whitePicture(60, 300);
    m_mono->renderTextMultiline(*picture, {0, 100, 60, 100 + 2 * h}, text, 0xFF000000u, Font::eAlignCenter, 0);
    // The block overflows both edges equally; the clip cuts what straddles,
    // and no line is drawn whose baseline lies below the rectangle.
    const auto& a = glyph(*m_mono, U'a');
    const int first = 100 + m_mono->getRenderCache()->ascent() + (2 * h - 31 * h) / 2;
    int top = 300;
    int bottom = 0;
    for (int line = 0; line < 31 && first + line * h <= 100 + 2 * h; ++line) {
        const int inkTop = std::max(100, first + line * h - a.top);
        const int inkBottom = std::min(100 + 2 * h, first + line * h - a.top + a.rows);
        if (inkTop < inkBottom) {
            top = std::min(top, inkTop);
            bottom = std::max(bottom, inkBottom);
        }
    }
    EXPECT_LT(first, 100);
    EXPECT_EQ(inkBounds(*picture).top, top);
    EXPECT_EQ(inkBounds(*picture).bottom, bottom);
}

TEST_F(FontDrawing, TheCallersClipIsHonouredAndRestored)
{
    const auto picture = whitePicture(100, 100);
    picture->setClipRect({10, 10, 50, 50});
    const std::string text = "WWWWWWWWWW\nWWWWWWWWWW\nWWWWWWWWWW\nWWWWWWWWWW\nWWWWWWWWWW\nWWWWWWWWWW";
    m_sans->renderTextMultiline(*picture, {0, 0, 100, 100}, text, 0xFF000000u, Font::eAlignLeft | Font::eAlignTop, 0);
    const GP::Rect ink = inkBounds(*picture);
    EXPECT_FALSE(ink.isEmpty());
    EXPECT_TRUE((GP::Rect{10, 10, 50, 50}).contains(ink));
    EXPECT_TRUE(picture->isClipSet());
    EXPECT_EQ(picture->getClipRect(), (GP::Rect{10, 10, 50, 50}));

    // Disjoint: nothing drawn, clip kept.
    picture->clear(0xFFFFFFFFu);
    m_sans->renderTextMultiline(*picture, {60, 60, 90, 90}, text, 0xFF000000u, Font::eAlignCenter, 0);
    EXPECT_TRUE(inkBounds(*picture).isEmpty());
    EXPECT_EQ(picture->getClipRect(), (GP::Rect{10, 10, 50, 50}));

    picture->resetClipRect();
    m_sans->renderTextMultiline(*picture, {0, 0, 30, 30}, text, 0xFF000000u, Font::eAlignCenter, 0);
    EXPECT_FALSE(picture->isClipSet());
    EXPECT_TRUE((GP::Rect{0, 0, 30, 30}).contains(inkBounds(*picture)));
}

TEST_F(FontDrawing, MalformedTextIsDrawnWithReplacementCharactersAndNeverRaised)
{
    const auto picture = whitePicture(200, 40);
    const auto expected = whitePicture(200, 40);
    picture->setClipRect({0, 0, 150, 40});
    expected->setClipRect({0, 0, 150, 40});
    EXPECT_NO_THROW(m_sans->renderTextMultiline(*picture, {0, 0, 200, 40}, std::string("ok \xFF\xC3("), 0xFF000000u,
                                                Font::eAlignLeft, 0));
    m_sans->renderTextMultiline(*expected, {0, 0, 200, 40}, std::string("ok \xEF\xBF\xBD\xEF\xBF\xBD("),
                                0xFF000000u, Font::eAlignLeft, 0);
    EXPECT_EQ(picture->getClipRect(), (GP::Rect{0, 0, 150, 40}));
    EXPECT_EQ(std::memcmp(picture->getPixels(), expected->getPixels(), 200 * 40 * 4), 0);
}

// The reference was rendered once with this sample and checked by eye. To
// render it anew, set QV_FONT_REFERENCE_OUT to a file name: the picture is
// written there as PAM (ImageMagick converts it to PNG).
TEST_F(FontDrawing, ASampleMatchesItsReferencePicture)
{
    Font hinted(Font::CreateData{"", 1, 13, Font::kFlagHinting, m_engine.handle()});
    Font underlined(Font::CreateData{"", 1, 11, Font::kFlagUnderline, m_engine.handle()});
    const auto picture = whitePicture(160, 72);
    hinted.renderTextMultiline(*picture, {4, 2, 156, 48}, FontTest::seq("Firmware 69 \xE2\x80\x94 ready\n\xC3\x84\xC3\x96\xC3\x9C \xC3\x9F \xE2\x82\xAC"),
                               0xFF1A2B8Cu, Font::eAlignCenter | Font::eAlignTop, 2);
    underlined.renderTextMultiline(*picture, {4, 48, 156, 70}, FontTest::seq("Serial: ABC123"), 0xC0B01010u, Font::eAlignRight, 0);

    if (const char* out = std::getenv("QV_FONT_REFERENCE_OUT")) {
        std::ofstream pam(out, std::ios::binary);
        pam << "P7\nWIDTH 160\nHEIGHT 72\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        for (int i = 0; i < 160 * 72; ++i) {
            const std::uint32_t p = picture->getPixels()[i];
            const char rgba[] = {char(p >> 16), char(p >> 8), char(p), char(p >> 24)};
            pam.write(rgba, 4);
        }
    }

    const auto reference = FontTest::readFontFile(std::string(QV_FONT_TEST_DATA) + "/text-reference.png");
    GP::MemoryStream stream;
    stream.getMemoryStorage().init(GP::IStorage::eAccessRead, static_cast<const void*>(reference.data()),
                                   reference.size());
    Picture expected;
    ASSERT_TRUE(expected.readPNG(stream, PictureProperties::eVertical, true));
    ASSERT_EQ(expected.getWidth(), 160);
    ASSERT_EQ(expected.getHeight(), 72);
    // A later FreeType may shade edges a little differently; shapes and
    // places must stay.
    int differing = 0;
    for (int i = 0; i < 160 * 72; ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const int have = int((picture->getPixels()[i] >> shift) & 0xFF);
            const int want = int((expected.getPixels()[i] >> shift) & 0xFF);
            if (std::abs(have - want) > 24)
                ++differing;
        }
    EXPECT_EQ(differing, 0);
}

} // namespace
} // namespace QV::UIA
