// Font work in ns: a glyph-cache hit against FreeType loading and rendering
// the same glyph (what a miss costs), text measuring per character, and the
// layout and drawing of 1000 characters of multi-line text into a picture.

#include <QV/GP/MemoryStream.h>
#include <QV/UIA/Font.h>
#include <QV/UIA/FontEngine.h>
#include <QV/UIA/Picture.h>

#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using QV::UIA::Font;

const char* const kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<unsigned char> fontBytes()
{
    std::ifstream in(kFontFile, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::unique_ptr<Font> makeFont(int pixelSize)
{
    static const std::vector<unsigned char> bytes = fontBytes();
    QV::GP::MemoryStream stream;
    stream.getMemoryStorage().init(QV::GP::IStorage::eAccessRead, static_cast<const void*>(bytes.data()),
                                   bytes.size());
    return std::make_unique<Font>(
        stream, Font::CreateData{kFontFile, 0, pixelSize, Font::kFlagHinting,
                                 QV::UIA::getSystemFontEngine().handle()});
}

// Ten lines of 99 characters, some outside ASCII, with their newlines and a
// closing full stop: 1000 characters.
std::string sampleText()
{
    std::string text;
    for (int line = 0; line < 10; ++line) {
        for (int i = 0; i < 10; ++i)
            text += "Firmware ";
        text += line % 2 == 0 ? "\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC ok69" : "upd. 69ok";
        text += line < 9 ? "\n" : ".";
    }
    return text;
}

std::int64_t characters(const std::string& text)
{
    std::int64_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

void BM_GlyphCacheHit(benchmark::State& state)
{
    const auto font = makeFont(12);
    QV::UIA::DETAIL::FTRenderCache* cache = font->getRenderCache();
    const char32_t cp = state.range(0) == 0 ? U'g' : U'\u20AC';
    cache->getCharBitmap(cp);
    for (auto _ : state)
        benchmark::DoNotOptimize(cache->getCharBitmap(cp));
}
BENCHMARK(BM_GlyphCacheHit)->Arg(0)->Arg(1)->ArgName("nonAscii");

void BM_FreeTypeLoadAndRender(benchmark::State& state)
{
    const std::vector<unsigned char> bytes = fontBytes();
    FT_Library library;
    FT_Face face;
    FT_Init_FreeType(&library);
    FT_New_Memory_Face(library, bytes.data(), FT_Long(bytes.size()), 0, &face);
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    FT_Set_Pixel_Sizes(face, 0, 12);
    const FT_ULong cp = state.range(0) == 0 ? 'g' : 0x20AC;
    for (auto _ : state) {
        FT_Load_Char(face, cp, FT_LOAD_RENDER | FT_LOAD_NO_AUTOHINT);
        benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeLoadAndRender)->Arg(0)->Arg(1)->ArgName("nonAscii");

void BM_StringWidth(benchmark::State& state)
{
    const auto font = makeFont(12);
    const std::string line = sampleText().substr(0, sampleText().find('\n'));
    benchmark::DoNotOptimize(font->getStringWidth(line.c_str(), -1));
    for (auto _ : state)
        benchmark::DoNotOptimize(font->getStringWidth(line.c_str(), -1));
    // Per character: items are characters.
    state.SetItemsProcessed(state.iterations() * characters(line));
}
BENCHMARK(BM_StringWidth);

void BM_MultilineLayoutAndDrawing(benchmark::State& state)
{
    const auto font = makeFont(12);
    const std::string text = sampleText();
    QV::UIA::Picture picture;
    picture.setSize(800, 240, true);
    picture.clear(0xFFFFFFFFu);
    const QV::GP::Rect rect{0, 0, 800, 240};
    for (auto _ : state) {
        font->renderTextMultiline(picture, rect, text, 0xFF202020u, Font::eAlignCenter, 2);
        benchmark::DoNotOptimize(picture.getPixels());
    }
    state.SetItemsProcessed(state.iterations() * characters(text));
}
BENCHMARK(BM_MultilineLayoutAndDrawing);

void BM_MultilineWidth(benchmark::State& state)
{
    // The widest line of the same text, which the toolkit measures to lay a
    // multi-line label out before drawing it.
    const auto font = makeFont(12);
    const std::string text = sampleText();
    for (auto _ : state)
        benchmark::DoNotOptimize(font->getStringWidthMultiline(text));
    state.SetItemsProcessed(state.iterations() * characters(text));
}
BENCHMARK(BM_MultilineWidth);

} // namespace

BENCHMARK_MAIN();
