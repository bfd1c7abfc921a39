// Helpers of the font tests: fonts from DejaVu files (fonts-dejavu-core) or
// from bytes the test makes, and where ink lands in a picture.
#pragma once

#include <QV/GP/MemoryStream.h>
#include <QV/GP/Rect.h>
#include <QV/UIA/Font.h>
#include <QV/UIA/FontEngine.h>
#include <QV/UIA/Picture.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace QV::UIA::FontTest {

using Bytes = std::vector<unsigned char>;

inline const std::string kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const std::string kDejaVuSansMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// A view of a literal text, which may hold bytes that are not UTF-8.
inline GP::CharSequence<char> seq(const char* text)
{
    return {text, std::strlen(text)};
}

inline Bytes readFontFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << path;
    return bytes;
}

// A font keyed by name over the bytes, as the toolkit makes one from a file.
inline std::unique_ptr<Font> fontFromBytes(const Bytes& bytes, const std::string& key, int pixelSize,
                                           DETAIL::FreeType* engine, std::uint32_t flags = 0)
{
    GP::MemoryStream stream;
    stream.getMemoryStorage().init(GP::IStorage::eAccessRead, static_cast<const void*>(bytes.data()), bytes.size());
    return std::make_unique<Font>(stream, Font::CreateData{key, 0, pixelSize, flags, engine});
}

inline std::unique_ptr<Font> fontFromFile(const std::string& path, int pixelSize, DETAIL::FreeType* engine,
                                          std::uint32_t flags = 0)
{
    return fontFromBytes(readFontFile(path), path, pixelSize, engine, flags);
}

inline int advanceOf(const Font& font, char32_t cp)
{
    const DETAIL::FTCharBitmap* glyph = font.getRenderCache()->getCharBitmap(cp);
    return glyph != nullptr ? DETAIL::pixelWidth(*glyph) : -1;
}

// An opaque white picture.
inline std::unique_ptr<Picture> whitePicture(int width, int height)
{
    auto picture = std::make_unique<Picture>();
    EXPECT_TRUE(picture->setSize(width, height, true));
    picture->clear(0xFFFFFFFFu);
    return picture;
}

// The smallest rectangle, in buffer coordinates, holding every pixel that is
// not the background; empty when there is none.
inline GP::Rect inkBounds(const Picture& picture, std::uint32_t background = 0xFFFFFFFFu,
                          GP::Rect area = {0, 0, 1 << 20, 1 << 20})
{
    area = area.intersection({0, 0, picture.getWidth(), picture.getHeight()});
    GP::Rect ink{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (picture.getRow(y)[x] != background) {
                ink.left = std::min(ink.left, x);
                ink.top = std::min(ink.top, y);
                ink.right = std::max(ink.right, x + 1);
                ink.bottom = std::max(ink.bottom, y + 1);
            }
    return ink.isEmpty() ? GP::Rect{} : ink;
}

} // namespace QV::UIA::FontTest
