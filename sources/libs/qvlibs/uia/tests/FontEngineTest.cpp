// The font engine: files and faces shared by key, faces per backing scale,
// line metrics, fonts that fail to load, and glyphs FreeType delivers in
// other forms or not at all.
#include "FTGlyphBitmap.h"
#include "FontFixtures.h"

#include <QV/GP/FileStream.h>
#include <QV/GP/MemoryStream.h>
#include <QV/UIA/ResourceFacade.h>

#include <TemporaryFolder.h>

#include <boost/filesystem/path.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>

namespace QV::UIA {
namespace {

using FontTest::Bytes;
using FontTest::fontFromBytes;
using FontTest::fontFromFile;
using FontTest::kDejaVuSans;
using FontTest::kDejaVuSansMono;

const DETAIL::FTFontData& fontData(const FontEngine& engine, const std::string& key)
{
    return engine.handle()->fonts().at(DETAIL::FontKey(key));
}

// DejaVu Sans: 2048 units per em, bounding box from -948 to 2524, underline
// at -85 and 90 thick, scaled and rounded; the line grows by one pixel when
// the underline would not fit under the ascent.
TEST(FontMetrics, DejaVuAt12And24PixelsFollowTheFontsGlobalValues)
{
    FontEngine engine;
    struct Metrics {
        int px, lineHeight, ascent, underlinePosition, underlineThickness;
    };
    for (const Metrics& m : {Metrics{12, 20, 15, 0, 1}, Metrics{24, 41, 30, -1, 2}}) {
        const auto font = fontFromFile(kDejaVuSans, m.px, engine.handle());
        const DETAIL::FTRenderCache* cache = font->getRenderCache();
        ASSERT_NE(cache, nullptr);
        EXPECT_EQ(cache->lineHeight(), m.lineHeight) << m.px;
        EXPECT_EQ(cache->ascent(), m.ascent) << m.px;
        EXPECT_EQ(cache->underlinePosition(), m.underlinePosition) << m.px;
        EXPECT_EQ(cache->underlineThickness(), m.underlineThickness) << m.px;
        EXPECT_EQ(font->getCharHeight(), m.lineHeight) << m.px;
    }
}

TEST(FontEngine, FontsOfOneKeyShareOneFileAndOneFacePerSizeAndHinting)
{
    FontEngine engine;
    const Bytes sans = FontTest::readFontFile(kDejaVuSans);
    const auto small = fontFromBytes(sans, "/fonts/Face.ttf", 12, engine.handle());
    const auto large = fontFromBytes(sans, "/fonts/Face.ttf", 24, engine.handle());
    // The second font of a key gets the registered file whatever it brings.
    const auto again = fontFromBytes(Bytes{1, 2, 3}, "/fonts/Face.ttf", 12, engine.handle());
    const auto hinted = fontFromBytes(sans, "/fonts/Face.ttf", 12, engine.handle(), Font::kFlagHinting);

    ASSERT_EQ(engine.handle()->fonts().size(), 1u);
    EXPECT_EQ(fontData(engine, "/fonts/Face.ttf").faces.size(), 3u);
    EXPECT_EQ(small->getRenderCache(), again->getRenderCache());
    EXPECT_NE(small->getRenderCache(), large->getRenderCache());
    EXPECT_NE(small->getRenderCache(), hinted->getRenderCache());

    // Files of one name in two folders stay apart.
    const auto mono = fontFromFile(kDejaVuSansMono, 12, engine.handle());
    const auto sansByPath = fontFromFile(kDejaVuSans, 12, engine.handle());
    EXPECT_EQ(engine.handle()->fonts().size(), 3u);
    EXPECT_NE(mono->getStringWidth("iiii", -1), sansByPath->getStringWidth("iiii", -1));
}

TEST(FontEngine, AFaceGoesWithItsLastFontAndIsMadeAnewOnTheNextRequest)
{
    FontEngine engine;
    auto font = fontFromFile(kDejaVuSans, 12, engine.handle());
    const int width = font->getStringWidth("Face", -1);
    font.reset();
    EXPECT_TRUE(fontData(engine, kDejaVuSans).faces.begin()->second.expired());

    const auto next = fontFromBytes(Bytes{0}, kDejaVuSans, 12, engine.handle());
    ASSERT_NE(next->getRenderCache(), nullptr);
    EXPECT_EQ(next->getStringWidth("Face", -1), width);
    EXPECT_EQ(fontData(engine, kDejaVuSans).faces.size(), 1u);
}

TEST(FontEngine, EachBackingScaleGetsItsOwnFaceAndSwitchingBackReusesIt)
{
    FontEngine engine;
    const auto font = fontFromFile(kDejaVuSans, 12, engine.handle());
    const int height12 = font->getCharHeight();
    const int height24 = fontFromFile(kDejaVuSans, 24, engine.handle())->getCharHeight();

    font->setBackingScaleFactor(2.0F);
    EXPECT_EQ(font->getCharHeight(), height24);
    EXPECT_EQ(font->getRenderCache()->key().first, 24);
    font->setBackingScaleFactor(1.0F);
    EXPECT_EQ(font->getCharHeight(), height12);
    EXPECT_EQ(fontData(engine, kDejaVuSans).faces.size(), 2u);

    // 10 x 1.25 = 12.5 rounds away from zero.
    const auto ten = fontFromFile(kDejaVuSans, 10, engine.handle());
    ten->setBackingScaleFactor(1.25F);
    EXPECT_EQ(ten->getRenderCache()->key().first, 13);

    // A scale that is no positive number has no face; the font is empty
    // there and whole again at a good scale.
    for (const float bad : {0.0F, -2.0F, std::nanf("")}) {
        font->setBackingScaleFactor(bad);
        EXPECT_EQ(font->getCharHeight(), 10);
        EXPECT_EQ(font->getStringWidth("abc", -1), 0);
        font->setBackingScaleFactor(1.0F);
        EXPECT_EQ(font->getCharHeight(), height12);
    }
}

TEST(FontEngine, AbsurdPixelSizesAreClampedToWhatFreeTypeCanRender)
{
    FontEngine engine;
    const Bytes sans = FontTest::readFontFile(kDejaVuSans);
    const auto huge = fontFromBytes(sans, "sans", 50'000'000, engine.handle());
    ASSERT_NE(huge->getRenderCache(), nullptr);
    EXPECT_EQ(huge->getRenderCache()->key().first, DETAIL::FreeType::kMaxPixelSize);
    EXPECT_EQ(huge->getCharHeight(), int(std::lround(3472.0 * DETAIL::FreeType::kMaxPixelSize / 2048)));
    huge->setBackingScaleFactor(1e30F);
    EXPECT_EQ(huge->getRenderCache()->key().first, DETAIL::FreeType::kMaxPixelSize);

    for (const int px : {0, -7}) {
        const auto tiny = fontFromBytes(sans, "sans", px, engine.handle());
        ASSERT_NE(tiny->getRenderCache(), nullptr) << px;
        EXPECT_EQ(tiny->getRenderCache()->key().first, 1);
        EXPECT_GE(tiny->getStringWidth("abc", -1), 0);
    }
}

TEST(FontEngine, AFontThatFailsToLoadIsEmptyButUsable)
{
    FontEngine engine;
    const std::string text = "ab\xC3\xA9 cd\nef";
    std::vector<std::unique_ptr<Font>> failed;
    failed.push_back(fontFromBytes(Bytes(4096, 0x5A), "/garbage.ttf", 12, engine.handle()));
    failed.push_back(fontFromBytes(Bytes{}, "/empty.ttf", 12, engine.handle()));
    failed.push_back(std::make_unique<Font>(Font::CreateData{"", 77, 12, 0, engine.handle()}));
    failed.push_back(std::make_unique<Font>(Font::CreateData{"", 0, 12, 0, engine.handle()}));
    failed.push_back(fontFromFile(kDejaVuSans, 12, nullptr));
    for (const auto& font : failed) {
        EXPECT_EQ(font->getRenderCache(), nullptr);
        EXPECT_EQ(font->getCharHeight(), 10);
        EXPECT_EQ(font->getStringWidth(text.c_str(), -1), 0);
        EXPECT_EQ(font->getStringWidthMultiline(text), 0);
        // Every character is 0 wide, so any x lies past the first line.
        EXPECT_EQ(font->getCharPos(text.c_str(), 50, Font::eRoundDown), 7);
        const auto picture = FontTest::whitePicture(40, 40);
        font->renderTextMultiline(*picture, {0, 0, 40, 40}, text, 0xFF000000u, Font::eAlignCenter, 0);
        EXPECT_TRUE(FontTest::inkBounds(*picture).isEmpty());
    }
    // A loaded font is not loaded over.
    const auto good = fontFromFile(kDejaVuSans, 12, engine.handle());
    EXPECT_FALSE(good->create(Font::CreateData{"", 1, 12, 0, engine.handle()}));
}

// A font file is mapped, not copied into memory, and measures and draws as
// the same bytes held in memory; a file that is empty, no font or no regular
// file gives an empty font, as the bytes of any other stream would.
TEST(FontEngine, AFontFileIsMappedAndDrawsAsItsBytesInMemory)
{
    FontEngine engine;
    const TestSupport::TemporaryFolder folder("font-files");
    ASSERT_FALSE(folder.path().empty());
    const auto write = [&](const char* name, const Bytes& bytes) {
        const std::filesystem::path path = folder.path() / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    };
    const auto fromFile = [&](const std::filesystem::path& path) {
        GP::FileStream stream;
        EXPECT_TRUE(stream.getFileStorage().open(GP::FileName{boost::filesystem::path(path.string())},
                                                 GP::IStorage::eAccessRead))
            << path;
        return std::make_unique<Font>(stream, Font::CreateData{path.string(), 0, 12, 0, engine.handle()});
    };

    const Bytes sans = FontTest::readFontFile(kDejaVuSans);
    const auto mappedPath = write("Sans.ttf", sans);
    const auto mapped = fromFile(mappedPath);
    const auto held = fontFromBytes(sans, "held", 12, engine.handle());
    ASSERT_NE(mapped->getRenderCache(), nullptr);
    const DETAIL::FTFontBytes& bytes = fontData(engine, mappedPath.string()).bytes;
    EXPECT_TRUE(bytes->isMapped());
    EXPECT_EQ(bytes->size(), sans.size());
    EXPECT_FALSE(fontData(engine, "held").bytes->isMapped());
    EXPECT_EQ(mapped->getStringWidth("Firmware 69", -1), held->getStringWidth("Firmware 69", -1));
    const auto drawn = [](const Font& font) {
        const auto picture = FontTest::whitePicture(120, 24);
        font.renderTextMultiline(*picture, {0, 0, 120, 24}, FontTest::seq("Firmware 69"), 0xFF000000u,
                                 Font::eAlignLeft, 0);
        EXPECT_FALSE(FontTest::inkBounds(*picture).isEmpty());
        return std::vector<std::uint32_t>(picture->getPixels(), picture->getPixels() + 120 * 24);
    };
    EXPECT_EQ(drawn(*mapped), drawn(*held));

    for (const auto& path : {write("Empty.ttf", Bytes{}), write("Garbage.ttf", Bytes(4096, 0x5A)),
                             std::filesystem::path("/dev/zero")}) {
        const auto failed = fromFile(path);
        EXPECT_EQ(failed->getRenderCache(), nullptr) << path;
        EXPECT_EQ(failed->getStringWidth("abc", -1), 0) << path;
    }
}

TEST(FontEngine, TheDefaultFontIsTheBuiltInDejaVuSans)
{
    FontEngine engine;
    const Font byResource(Font::CreateData{"", 1, 12, Font::kFlagHinting, engine.handle()});
    const auto byFile = fontFromFile(kDejaVuSans, 12, engine.handle(), Font::kFlagHinting);
    ASSERT_NE(byResource.getRenderCache(), nullptr);
    EXPECT_EQ(byResource.getCharHeight(), 20);
    EXPECT_EQ(byResource.getStringWidth("Firmware 69", -1), byFile->getStringWidth("Firmware 69", -1));
    EXPECT_GT(byResource.getStringWidth("Firmware 69", -1), 40);

    // The resource map comes first when it holds the id.
    static const char kBytes[] = "TTFd bytes";
    auto ids = std::make_unique<ResourceMap::IdMap>();
    (*ids)[5] = ResourceMap::ResEntry{kBytes, sizeof kBytes};
    ResourceFacade::resourceMap()[ResourceFacade::typeCode("TTFd")] = std::move(ids);
    const auto stream = ResourceFacade::getResource(5, "TTFd", GP::Endian::eBigEndian);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->getByteOrder(), GP::Endian::eBigEndian);
    char read[sizeof kBytes] = {};
    EXPECT_EQ(stream->readRaw(read, sizeof read), sizeof kBytes);
    EXPECT_STREQ(read, kBytes);
    ResourceFacade::clearResourceMap();
    EXPECT_EQ(ResourceFacade::getResource(5, "TTFd", GP::Endian::eLittleEndian), nullptr);
    EXPECT_EQ(ResourceFacade::getResource(1, "TTF", GP::Endian::eLittleEndian), nullptr);
    EXPECT_NE(ResourceFacade::getResource(1, "TTFd", GP::Endian::eLittleEndian), nullptr);
}

TEST(FontEngine, FontsOutlivingTheirEngineStayWholeUntilTheyGo)
{
    auto engine = std::make_unique<FontEngine>();
    const auto font = fontFromFile(kDejaVuSans, 12, engine->handle());
    const int width = font->getStringWidth("ab", -1);
    engine.reset();
    // New glyphs still render from the face, which keeps the file and the
    // library; the sanitizers watch the font's release after the engine's.
    EXPECT_GT(font->getStringWidth("xyz", -1), 0);
    EXPECT_EQ(font->getStringWidth("ab", -1), width);
}

// The big-endian 16- and 32-bit values of an OpenType file.
unsigned be16(const Bytes& b, std::size_t at)
{
    return unsigned(b.at(at)) << 8 | b.at(at + 1);
}
unsigned be32(const Bytes& b, std::size_t at)
{
    return be16(b, at) << 16 | be16(b, at + 2);
}
std::size_t tableOffset(const Bytes& font, const char* tag)
{
    for (unsigned i = 0; i < be16(font, 4); ++i)
        if (std::memcmp(font.data() + 12 + 16 * i, tag, 4) == 0)
            return be32(font, 12 + 16 * i + 8);
    ADD_FAILURE() << tag;
    return 0;
}

TEST(FontEngine, AGlyphFreeTypeCannotRenderIsTheQuestionMarkAndKeptAsSuch)
{
    // DejaVu Sans with the outline of 'A' claiming 32767 contours, which
    // FreeType refuses to load.
    Bytes broken = FontTest::readFontFile(kDejaVuSans);
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Memory_Face(library, broken.data(), FT_Long(broken.size()), 0, &face), 0);
    const unsigned index = FT_Get_Char_Index(face, 'A');
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    const std::size_t loca = tableOffset(broken, "loca");
    const bool longOffsets = be16(broken, tableOffset(broken, "head") + 50) != 0;
    const std::size_t glyph =
        tableOffset(broken, "glyf") + (longOffsets ? be32(broken, loca + 4 * index) : 2 * be16(broken, loca + 2 * index));
    broken.at(glyph) = 0x7F;
    broken.at(glyph + 1) = 0xFF;

    FontEngine engine;
    const auto font = fontFromBytes(broken, "broken", 12, engine.handle());
    DETAIL::FTRenderCache* cache = font->getRenderCache();
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(font->getStringWidth("A", -1), font->getStringWidth("?", -1));
    ASSERT_EQ(cache->glyphs().count(U'A'), 1u);
    EXPECT_EQ(cache->glyphs().at(U'A').pixels, cache->glyphs().at(U'?').pixels);
    EXPECT_EQ(cache->getCharBitmap(U'A'), &cache->glyphs().at(U'A'));
    EXPECT_NE(font->getStringWidth("B", -1), 0);
}

// A bitmap-only font in BDF: a 12-pixel strike, ascent 10 and descent 2,
// with 'A' a hollow box and '?' a full one.
std::string bdfFont()
{
    std::string glyphA = "BITMAP\nFF\n";
    for (int i = 0; i < 10; ++i)
        glyphA += "81\n";
    glyphA += "FF\n";
    std::string full = "BITMAP\n";
    for (int i = 0; i < 12; ++i)
        full += "FF\n";
    return "STARTFONT 2.1\nFONT -test-box-medium-r-normal--12-120-75-75-c-80-iso10646-1\nSIZE 12 75 75\n"
           "FONTBOUNDINGBOX 8 12 0 -2\nSTARTPROPERTIES 5\nPIXEL_SIZE 12\nFONT_ASCENT 10\nFONT_DESCENT 2\n"
           "CHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\nCHARS 2\n"
           "STARTCHAR question\nENCODING 63\nSWIDTH 666 0\nDWIDTH 9 0\nBBX 8 12 0 -2\n" +
           full + "ENDCHAR\nSTARTCHAR A\nENCODING 65\nSWIDTH 666 0\nDWIDTH 9 0\nBBX 8 12 0 -2\n" + glyphA +
           "ENDCHAR\nENDFONT\n";
}

TEST(FontEngine, ABitmapOnlyFontTakesItsStrikesMetricsAndOneBitGlyphsBecomeCoverage)
{
    FontEngine engine;
    const std::string bdf = bdfFont();
    const auto font = fontFromBytes(Bytes(bdf.begin(), bdf.end()), "box.bdf", 12, engine.handle());
    DETAIL::FTRenderCache* cache = font->getRenderCache();
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->lineHeight(), 12);
    EXPECT_EQ(cache->ascent(), 10);
    EXPECT_EQ(cache->underlinePosition(), -1);
    EXPECT_EQ(cache->underlineThickness(), 1);

    const DETAIL::FTCharBitmap* a = cache->getCharBitmap(U'A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(DETAIL::pixelWidth(*a), 9);
    ASSERT_EQ(a->width, 8);
    ASSERT_EQ(a->rows, 12);
    EXPECT_EQ(a->top, 10);
    const std::vector<unsigned char> edge(8, 255);
    EXPECT_EQ(std::vector<unsigned char>(a->pixels.begin(), a->pixels.begin() + 8), edge);
    EXPECT_EQ(std::vector<unsigned char>(a->pixels.begin() + 8, a->pixels.begin() + 16),
              (std::vector<unsigned char>{255, 0, 0, 0, 0, 0, 0, 255}));
    EXPECT_EQ(font->getStringWidth("AA", -1), 18);
}

TEST(GlyphBitmapConversion, GreyLevelsAndRowOrdersBecomeTopDownCoverageAndColourIsRefused)
{
    // Two rows of four 2-bit pixels (0, 1, 2, 3 and 3, 2, 1, 0), stored bottom
    // up as a negative pitch says: the block starts with the last row.
    unsigned char grey2[] = {0xE4, 0x1B};
    FT_Bitmap bitmap{};
    bitmap.rows = 2;
    bitmap.width = 4;
    bitmap.pitch = -1;
    bitmap.buffer = grey2;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY2;
    bitmap.num_grays = 4;
    DETAIL::FTCharBitmap glyph;
    ASSERT_TRUE(DETAIL::convertGlyphBitmap(bitmap, glyph));
    EXPECT_EQ(glyph.pitch, 4);
    EXPECT_EQ(glyph.pixels, (std::vector<unsigned char>{0, 85, 170, 255, 255, 170, 85, 0}));

    unsigned char grey16[] = {0, 8, 15, 15};
    bitmap = FT_Bitmap{};
    bitmap.rows = 1;
    bitmap.width = 3;
    bitmap.pitch = 4;
    bitmap.buffer = grey16;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    bitmap.num_grays = 16;
    ASSERT_TRUE(DETAIL::convertGlyphBitmap(bitmap, glyph));
    EXPECT_EQ(glyph.pixels, (std::vector<unsigned char>{0, 136, 255}));

    for (const auto mode : {FT_PIXEL_MODE_LCD, FT_PIXEL_MODE_LCD_V, FT_PIXEL_MODE_BGRA}) {
        bitmap.pixel_mode = mode;
        EXPECT_FALSE(DETAIL::convertGlyphBitmap(bitmap, glyph)) << int(mode);
    }
}

} // namespace
} // namespace QV::UIA
