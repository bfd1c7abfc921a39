// Measuring text: widths by byte length, lines and newlines, character
// positions under each rounding, alignment offsets, cropping with a font,
// and malformed UTF-8, which is measured, never raised.
#include "FontFixtures.h"

#include <QV/UIA/StringCropper.h>

#include <tuple>

namespace QV::UIA {
namespace {

using FontTest::advanceOf;
using FontTest::fontFromFile;

class FontText : public ::testing::Test
{
protected:
    FontEngine m_engine;
    std::unique_ptr<Font> m_sans = fontFromFile(FontTest::kDejaVuSans, 12, m_engine.handle());
    // DejaVu Sans Mono at 17 pixels: every glyph 10 pixels wide.
    std::unique_ptr<Font> m_mono = fontFromFile(FontTest::kDejaVuSansMono, 17, m_engine.handle());

    int w(const char* text) const { return m_sans->getStringWidth(text, -1); }
};

TEST_F(FontText, WidthsEndAtTheLengthANulANewlineOrInsideACharacter)
{
    const int a = advanceOf(*m_sans, U'a');
    const int b = advanceOf(*m_sans, U'b');
    ASSERT_GT(a, 0);
    // a, e-acute (two bytes), b; x and a three-byte euro sign: a length
    // that ends inside a character stops before it.
    const std::tuple<const char*, int, int> cases[] = {
        {"ab\ncd", -1, a + b},          {"ab\ncd", 2, a + b},          {"ab\ncd", 1, a},
        {"ab\ncd", 0, 0},               {"ab\0cd", 5, a + b},          {nullptr, -1, 0},
        {"a\xC3\xA9" "b", 2, w("a")},      {"a\xC3\xA9" "b", 3, w("a\xC3\xA9")}, {"a\xC3\xA9" "b", 4, w("a\xC3\xA9" "b")},
        {"x\xE2\x82\xAC", 2, w("x")},   {"x\xE2\x82\xAC", 3, w("x")},
    };
    for (const auto& [text, length, width] : cases)
        EXPECT_EQ(m_sans->getStringWidth(text, length), width) << (text ? text : "null") << " up to " << length;
    // No kerning: a pair is the sum of its glyphs.
    EXPECT_EQ(w("AV"), w("A") + w("V"));
}

TEST_F(FontText, MalformedUtf8IsMeasuredAsReplacementCharacters)
{
    const int replacement = w("\xEF\xBF\xBD");
    ASSERT_GT(replacement, 0);
    EXPECT_NO_THROW(w("a\xFF"
                      "b"));
    EXPECT_EQ(w("a\xFF"
                "b"),
              w("ab") + replacement);
    // A lead byte broken by an ASCII character costs only itself.
    EXPECT_EQ(w("a\xC3("), w("a(") + replacement);
    // Overlong forms, encoded surrogates and stray continuation bytes.
    EXPECT_EQ(w("\xC0\xAF"), 2 * replacement);
    EXPECT_EQ(w("\xED\xA0\x80"), 3 * replacement);
    EXPECT_EQ(w("\x80\xBF"), 2 * replacement);
    // A text that ends inside a character ends before it.
    EXPECT_EQ(w("ab\xE2\x82"), w("ab"));
    EXPECT_EQ(m_sans->getCharPos("a\xFF"
                                 "b",
                                 w("a") + replacement + 1, Font::eRoundDown),
              2);
}

TEST_F(FontText, MultilineWidthIsTheWidestLine)
{
    EXPECT_EQ(m_sans->getStringWidthMultiline("ab\n\nabcd"), w("abcd"));
    EXPECT_EQ(m_sans->getStringWidthMultiline("abcd\nab\n"), w("abcd"));
    EXPECT_EQ(m_sans->getStringWidthMultiline(""), 0);
}

TEST_F(FontText, CharacterPositionsRoundAsAskedAndAlignmentSplitsTheSpareWidth)
{
    // Every glyph of the mono font is 10 pixels wide. Offsets are bytes, and
    // always on a character boundary.
    ASSERT_EQ(advanceOf(*m_mono, U'a'), 10);
    const char* accents = "\xC3\xA9\xC3\xA9\xC3\xA9";
    const std::tuple<const char*, int, Font::eRounding, int> positions[] = {
        {"abc", 15, Font::eRoundNearest, 1}, {"abc", 15, Font::eRoundDown, 1},    {"abc", 15, Font::eRoundUp, 2},
        {"abc", 16, Font::eRoundNearest, 2}, {"abc", 14, Font::eRoundNearest, 1}, {accents, 15, Font::eRoundDown, 2},
        {accents, 15, Font::eRoundUp, 4},    {accents, 26, Font::eRoundNearest, 6},
    };
    for (const auto& [text, x, rounding, offset] : positions)
        EXPECT_EQ(m_mono->getCharPos(text, x, rounding), offset) << text << " at " << x << " rounding " << rounding;
    for (const auto rounding : {Font::eRoundNearest, Font::eRoundDown, Font::eRoundUp}) {
        EXPECT_EQ(m_mono->getCharPos("abc", 30, rounding), 3);
        EXPECT_EQ(m_mono->getCharPos("abc", 0, rounding), 0);
        EXPECT_EQ(m_mono->getCharPos("abc", -4, rounding), 0);
        EXPECT_EQ(m_mono->getCharPos("ab\ncd", 500, rounding), 2);
    }

    const std::tuple<const char*, std::uint32_t, int, int> offsets[] = {
        {"abc", Font::eAlignCenter, 35, 3},          {"abc", Font::eAlignCenter, 34, 2},
        {"abc", Font::eAlignRight, 35, 5},           {"abc", Font::eAlignLeft | Font::eAlignRight, 35, 0},
        {"abc", Font::eAlignRight, 30, 0},           {"abcdef", Font::eAlignCenter, 25, 0},
        {"abc\ndefgh", Font::eAlignRight, 50, 20},   {"a\xFF", Font::eAlignRight, 50, 30},
    };
    for (const auto& [text, alignment, width, offset] : offsets)
        EXPECT_EQ(m_mono->getHorizontalAlignmentOffset(text, Font::eAlignment(alignment), width), offset)
            << text << " alignment " << alignment << " in " << width;
}

TEST_F(FontText, TheCropperMeasuresWithTheFontAndSurvivesMalformedText)
{
    StringCropper cropper;
    cropper.cropper().m_eMode = GP::StringCropper::kAppend;
    cropper.cropper().m_strReplacement = "...";
    const std::string text = "Updating the keyboard firmware";
    const std::string cropped = cropper.cropString(text, *m_sans, 80);
    EXPECT_LT(cropped.size(), text.size());
    EXPECT_LE(w(cropped.c_str()), 80);
    EXPECT_EQ(cropped.substr(cropped.size() - 3), "...");
    EXPECT_EQ(cropper.cropString(text, *m_sans, 1000), text);

    // Cropping from the middle steps over every character of the text.
    cropper.cropper().m_eMode = GP::StringCropper::kMiddle2;
    const std::string broken = "Upd\xFF"
                               "ating the keyboard \xC3(firmware";
    std::string result;
    EXPECT_NO_THROW(result = cropper.cropString(broken, *m_sans, 80));
    EXPECT_LE(w(result.c_str()), 80);
    EXPECT_EQ(result.substr(0, 6), "Upd\xEF\xBF\xBD");
    EXPECT_EQ(result.find('\xFF'), std::string::npos);

    // A broken replacement text still gives a line that fits.
    cropper.cropper().m_strReplacement = "\xE2\x80";
    EXPECT_NO_THROW(result = cropper.cropString(broken, *m_sans, 80));
    EXPECT_LE(w(result.c_str()), 80);
}

} // namespace
} // namespace QV::UIA
