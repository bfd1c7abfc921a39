#include <QV/UIA/DETAIL/FreeType.h>

#include "FTGlyphBitmap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace QV::UIA::DETAIL {

namespace {

// Metrics of a broken font can be any size; keep them where the layout's
// arithmetic stays sound.
int toPixels(double value, double (*round)(double))
{
    constexpr double kLimit = 1 << 20;
    return static_cast<int>(round(std::clamp(value, -kLimit, kLimit)));
}

double roundHalfAway(double value)
{
    return std::round(value);
}

unsigned char bitmapLevel(const FT_Bitmap& bitmap, const unsigned char* row, unsigned int column)
{
    switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_MONO:
        return ((row[column >> 3] >> (7 - (column & 7))) & 1) != 0 ? 255 : 0;
    case FT_PIXEL_MODE_GRAY2:
        return static_cast<unsigned char>(((row[column >> 2] >> (6 - 2 * (column & 3))) & 3) * 85);
    case FT_PIXEL_MODE_GRAY4:
        return static_cast<unsigned char>(((row[column >> 1] >> (4 - 4 * (column & 1))) & 15) * 17);
    default: {
        const unsigned int levels = bitmap.num_grays;
        const unsigned int value = row[column];
        if (levels == 256 || levels < 2)
            return static_cast<unsigned char>(value);
        return static_cast<unsigned char>(std::min(value, levels - 1) * 255 / (levels - 1));
    }
    }
}

} // namespace

bool convertGlyphBitmap(const FT_Bitmap& bitmap, FTCharBitmap& glyph)
{
    switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_GRAY:
    case FT_PIXEL_MODE_MONO:
    case FT_PIXEL_MODE_GRAY2:
    case FT_PIXEL_MODE_GRAY4:
        break;
    case FT_PIXEL_MODE_NONE:
        // A glyph without ink (a space) comes without a mode.
        if (bitmap.width == 0 || bitmap.rows == 0)
            break;
        return false;
    default:
        return false;
    }
    constexpr unsigned int kMaxSide = 1u << 15;
    if (bitmap.width > kMaxSide || bitmap.rows > kMaxSide)
        return false;
    glyph.width = static_cast<std::int32_t>(bitmap.width);
    glyph.rows = static_cast<std::int32_t>(bitmap.rows);
    glyph.pitch = glyph.width;
    glyph.pixels.assign(std::size_t(bitmap.width) * bitmap.rows, 0);
    if (glyph.pixels.empty())
        return true;
    if (bitmap.buffer == nullptr)
        return false;
    // A negative pitch means FreeType stored the rows bottom up, starting
    // from the buffer's end.
    const long pitch = bitmap.pitch;
    const unsigned char* firstRow = pitch >= 0 ? bitmap.buffer : bitmap.buffer - pitch * long(bitmap.rows - 1);
    for (unsigned int r = 0; r < bitmap.rows; ++r) {
        const unsigned char* row = firstRow + pitch * long(r);
        unsigned char* out = glyph.pixels.data() + std::size_t(r) * bitmap.width;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays == 256) {
            std::copy(row, row + bitmap.width, out);
            continue;
        }
        for (unsigned int c = 0; c < bitmap.width; ++c)
            out[c] = bitmapLevel(bitmap, row, c);
    }
    return true;
}

void FTFaceDeleter::operator()(FT_FaceRec_* face) const noexcept
{
    FT_Done_Face(face);
}

FTRenderCache::FTRenderCache(FTLibraryHandle library, FTFontBytes bytes, FTFaceOwner face, FaceKey key)
    : m_library(std::move(library)), m_bytes(std::move(bytes)), m_face(std::move(face)), m_key(key)
{
    const FT_Face f = m_face.get();
    const double px = key.first;
    if (FT_IS_SCALABLE(f) && f->units_per_EM != 0) {
        const double upem = f->units_per_EM;
        m_lineHeight = toPixels(double(f->bbox.yMax - f->bbox.yMin) * px / upem, roundHalfAway);
        m_ascent = toPixels(double(f->bbox.yMax) * px / upem, roundHalfAway);
        m_underlinePosition = toPixels(double(f->underline_position) * px / upem, roundHalfAway);
        m_underlineThickness = toPixels(double(f->underline_thickness) * px / upem, std::ceil);
    } else {
        // A bitmap-only font has no design units: its strike's metrics (in
        // 1/64 pixel) say how tall a line is, and it has no underline of its
        // own, so one pixel just below the baseline stands in.
        const FT_Size_Metrics& metrics = f->size->metrics;
        m_lineHeight = toPixels(double(metrics.ascender - metrics.descender) / 64.0, roundHalfAway);
        m_ascent = toPixels(double(metrics.ascender) / 64.0, roundHalfAway);
        m_underlinePosition = -1;
        m_underlineThickness = 1;
    }
    // The underline must fit into the line.
    if (m_ascent - m_underlinePosition >= m_lineHeight)
        ++m_lineHeight;
}

const FTCharBitmap* FTRenderCache::lookUp(char32_t c)
{
    const auto found = m_glyphs.find(c);
    if (found != m_glyphs.end())
        return &found->second;
    FTCharBitmap glyph;
    if (render(c, glyph))
        return keep(c, std::move(glyph));
    if (c == U'?')
        return nullptr;
    // A glyph that FreeType cannot render stays the question mark's, so it
    // is not tried again on every use.
    const FTCharBitmap* fallback = getCharBitmap(U'?');
    return fallback != nullptr ? keep(c, *fallback) : nullptr;
}

const FTCharBitmap* FTRenderCache::keep(char32_t c, FTCharBitmap glyph)
{
    const FTCharBitmap* kept = &m_glyphs.insert_or_assign(c, std::move(glyph)).first->second;
    if (c < m_ascii.size())
        m_ascii[c] = kept;
    return kept;
}

bool FTRenderCache::render(char32_t c, FTCharBitmap& glyph)
{
    const FT_Int32 flags = m_key.second ? (FT_LOAD_RENDER | FT_LOAD_NO_AUTOHINT) : (FT_LOAD_RENDER | FT_LOAD_NO_HINTING);
    if (FT_Load_Char(m_face.get(), c, flags) != 0)
        return false;
    const FT_GlyphSlot slot = m_face->glyph;
    constexpr long kLimit = std::numeric_limits<std::int32_t>::max();
    if (slot->advance.x < -kLimit || slot->advance.x > kLimit)
        return false;
    try {
        if (!convertGlyphBitmap(slot->bitmap, glyph))
            return false;
    }
    catch (const std::bad_alloc&) {
        return false;
    }
    glyph.advance = static_cast<std::int32_t>(slot->advance.x);
    glyph.top = slot->bitmap_top;
    glyph.left = slot->bitmap_left;
    return true;
}

FreeType::FreeType()
{
    FT_Library library = nullptr;
    // A library that does not start leaves the handle null; every face
    // creation then fails and fonts stay empty.
    if (FT_Init_FreeType(&library) == 0)
        m_library = FTLibraryHandle(library, [](FT_LibraryRec_* handle) { FT_Done_FreeType(handle); });
}

FreeType::~FreeType()
{
    m_fonts.clear();
    m_library.reset();
}

std::shared_ptr<FTRenderCache> FreeType::createRenderCache(const FontKey& key, FaceKey face, FTFontBytes bytes)
{
    face.first = std::clamp(face.first, kMinPixelSize, kMaxPixelSize);
    const auto found = m_fonts.find(key);
    if (found != m_fonts.end())
        return generateFontFace(found->second, face);
    if (!bytes || bytes->empty())
        return {};
    return generateFontFace(addFont(key, std::move(bytes)), face);
}

FTFontData& FreeType::addFont(const FontKey& key, FTFontBytes bytes)
{
    FTFontData& font = m_fonts[key];
    font.bytes = std::move(bytes);
    return font;
}

std::shared_ptr<FTRenderCache> FreeType::generateFontFace(FTFontData& font, FaceKey face)
{
    face.first = std::clamp(face.first, kMinPixelSize, kMaxPixelSize);
    const auto found = font.faces.find(face);
    if (found != font.faces.end()) {
        if (auto cache = found->second.lock())
            return cache;
        font.faces.erase(found);
    }
    if (!m_library || !font.bytes || font.bytes->empty())
        return {};
    FT_Face handle = nullptr;
    if (FT_New_Memory_Face(m_library.get(), font.bytes->data(), static_cast<FT_Long>(font.bytes->size()), 0,
                           &handle) != 0)
        return {};
    FTFaceOwner owned(handle);
    if (FT_Select_Charmap(handle, FT_ENCODING_UNICODE) != 0 ||
        FT_Set_Pixel_Sizes(handle, 0, static_cast<FT_UInt>(face.first)) != 0)
        return {};
    auto cache = std::make_shared<FTRenderCache>(m_library, font.bytes, std::move(owned), face);
    font.faces[face] = cache;
    return cache;
}

} // namespace QV::UIA::DETAIL
