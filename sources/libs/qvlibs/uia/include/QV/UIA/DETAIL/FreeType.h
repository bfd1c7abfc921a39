#pragma once

#include <QV/UIA/DETAIL/FontFileBytes.h>

#include <boost/functional/hash.hpp>
#include <boost/variant.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// FreeType's handles, declared here so that users of the font classes need
// not see FreeType's headers.
struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace QV::UIA::DETAIL {

// A font file is known by its resource id when it has one, else by its name
// (the toolkit passes the resolved path of the file).
using FontKey = boost::variant<unsigned int, std::string>;
// One rasterising face: pixel size and whether the font's own hinting runs.
using FaceKey = std::pair<std::int32_t, bool>;

struct FaceKeyHash
{
    std::size_t operator()(const FaceKey& key) const noexcept
    {
        return std::hash<std::uint64_t>{}((static_cast<std::uint64_t>(static_cast<std::uint32_t>(key.first)) << 1) |
                                          static_cast<std::uint64_t>(key.second));
    }
};

// One rendered glyph: an 8-bit coverage bitmap (0 transparent, 255 full),
// rows top to bottom, whatever form FreeType delivered it in.
struct FTCharBitmap
{
    // Horizontal advance in 1/64 pixel.
    std::int32_t advance = 0;
    // Rows from the baseline up to the first row, and columns from the pen
    // position to the first column.
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t width = 0;
    std::int32_t rows = 0;
    // Bytes from one row to the next; never below width.
    std::int32_t pitch = 0;
    std::vector<unsigned char> pixels;
};

// The advance in whole pixels, rounded to nearest with halves to even.
inline int pixelWidth(const FTCharBitmap& glyph) noexcept
{
    const std::int32_t whole = glyph.advance >> 6;
    const std::int32_t fraction = glyph.advance & 63;
    return whole + ((fraction > 32 || (fraction == 32 && (whole & 1) != 0)) ? 1 : 0);
}

// The FreeType library, shared by the registry and every face made from it
// so that the library is only released after its last face.
using FTLibraryHandle = std::shared_ptr<FT_LibraryRec_>;
// A font file's bytes, shared by its registry entry and every face that
// reads them in place.
using FTFontBytes = std::shared_ptr<const FontFileBytes>;

struct FTFaceDeleter
{
    void operator()(FT_FaceRec_* face) const noexcept;
};
using FTFaceOwner = std::unique_ptr<FT_FaceRec_, FTFaceDeleter>;

// One face at one pixel size and hinting mode with its line metrics and its
// glyph cache. Shared by every font that uses it; the glyphs are rendered
// once and kept as long as the face lives, and a returned glyph stays valid
// as long as the face.
//
// Thread affinity: main thread.
class FTRenderCache
{
public:
    // The face is released before the bytes and library it was made from.
    FTRenderCache(FTLibraryHandle library, FTFontBytes bytes, FTFaceOwner face, FaceKey key);
    FTRenderCache(const FTRenderCache&) = delete;
    FTRenderCache& operator=(const FTRenderCache&) = delete;

    // The glyph of c; when FreeType cannot render it, the question mark's,
    // which is then kept under c too; null when neither renders.
    const FTCharBitmap* getCharBitmap(char32_t c)
    {
        if (c < m_ascii.size() && m_ascii[c] != nullptr)
            return m_ascii[c];
        return lookUp(c);
    }

    const FaceKey& key() const noexcept { return m_key; }
    int lineHeight() const noexcept { return m_lineHeight; }
    int ascent() const noexcept { return m_ascent; }
    // Negative below the baseline, as in the font.
    int underlinePosition() const noexcept { return m_underlinePosition; }
    int underlineThickness() const noexcept { return m_underlineThickness; }
    const std::unordered_map<char32_t, FTCharBitmap>& glyphs() const noexcept { return m_glyphs; }

private:
    const FTCharBitmap* lookUp(char32_t c);
    const FTCharBitmap* keep(char32_t c, FTCharBitmap glyph);
    bool render(char32_t c, FTCharBitmap& glyph);

    FTLibraryHandle m_library;
    FTFontBytes m_bytes;
    FTFaceOwner m_face;
    FaceKey m_key;
    int m_lineHeight = 0;
    int m_ascent = 0;
    int m_underlinePosition = 0;
    int m_underlineThickness = 0;
    std::unordered_map<char32_t, FTCharBitmap> m_glyphs;
    // The glyphs of the ASCII range, found without hashing.
    std::array<const FTCharBitmap*, 128> m_ascii{};
};

// A font file held once, and its faces by (pixel size, hinting). An expired
// face entry is replaced by the next request for its key.
struct FTFontData
{
    FTFontBytes bytes;
    std::unordered_map<FaceKey, std::weak_ptr<FTRenderCache>, FaceKeyHash> faces;
};

// The font engine's registry: the FreeType library and every font file met,
// by key. Entries are only added; they live as long as the registry.
//
// Thread affinity: main thread.
class FreeType
{
public:
    // Pixel sizes are clamped into this range, so that a bad size neither
    // fails in FreeType nor asks it for glyph bitmaps of absurd size.
    static constexpr std::int32_t kMinPixelSize = 1;
    static constexpr std::int32_t kMaxPixelSize = 1024;

    FreeType();
    FreeType(const FreeType&) = delete;
    FreeType& operator=(const FreeType&) = delete;
    // Drops the fonts first, then the library.
    ~FreeType();

    // The face of the key's font file at the size and hinting. The bytes are
    // only used when the key is new; an unknown key without bytes, and a
    // file that FreeType refuses, give nothing.
    std::shared_ptr<FTRenderCache> createRenderCache(const FontKey& key, FaceKey face, FTFontBytes bytes);
    FTFontData& addFont(const FontKey& key, FTFontBytes bytes);
    std::shared_ptr<FTRenderCache> generateFontFace(FTFontData& font, FaceKey face);

    const std::unordered_map<FontKey, FTFontData, boost::hash<FontKey>>& fonts() const noexcept { return m_fonts; }

private:
    FTLibraryHandle m_library;
    std::unordered_map<FontKey, FTFontData, boost::hash<FontKey>> m_fonts;
};

} // namespace QV::UIA::DETAIL
