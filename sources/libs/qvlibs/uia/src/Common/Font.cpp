#include <QV/UIA/Font.h>

#include <QV/GP/FileStorage.h>
#include <QV/GP/Stream.h>
#include <QV/GP/StreamUtil.h>
#include <QV/UIA/ResourceFacade.h>

#include "GlyphTextReader.h"

#include <cmath>
#include <cstring>

namespace QV::UIA {

namespace {

constexpr int kHeightWithoutFace = 10;

int glyphWidth(DETAIL::FTRenderCache* cache, char32_t cp)
{
    const DETAIL::FTCharBitmap* glyph = cache->getCharBitmap(cp);
    return glyph != nullptr ? DETAIL::pixelWidth(*glyph) : 0;
}

DETAIL::FontKey fontKey(std::uint32_t resourceId, const std::string& name)
{
    if (resourceId != 0)
        return DETAIL::FontKey(static_cast<unsigned int>(resourceId));
    return DETAIL::FontKey(name);
}

} // namespace

Font::Font(const CreateData& data)
{
    create(data);
}

Font::Font(GP::Stream& stream, const CreateData& data)
{
    create(stream, data);
}

Font::~Font() = default;

bool Font::create(const CreateData& data)
{
    if (!m_renderCaches.empty() || data.resourceId == 0)
        return false;
    const std::unique_ptr<GP::Stream> stream =
        ResourceFacade::getResource(data.resourceId, "TTFd", GP::Endian::eLittleEndian);
    if (stream == nullptr)
        return false;
    auto bytes = GP::toStdVectorRaw(*stream);
    if (!bytes)
        return false;
    return allocateFont(data, std::make_shared<const DETAIL::FontFileBytes>(std::move(*bytes)));
}

bool Font::create(GP::Stream& stream, const CreateData& data)
{
    if (!m_renderCaches.empty())
        return false;
    // A font file is mapped rather than read, so that only what FreeType
    // reads of it takes memory; any other stream, or a file that cannot be
    // mapped, is read whole.
    if (auto* file = dynamic_cast<GP::FileStorage*>(stream.getStorage()); file != nullptr)
        if (auto mapped = DETAIL::FontFileBytes::map(file->getDescriptor()))
            return allocateFont(data, std::move(mapped));
    auto bytes = GP::toStdVectorRaw(stream);
    if (!bytes)
        return false;
    return allocateFont(data, std::make_shared<const DETAIL::FontFileBytes>(std::move(*bytes)));
}

bool Font::allocateFont(const CreateData& data, DETAIL::FTFontBytes bytes)
{
    m_engine = data.engine;
    m_resourceId = data.resourceId;
    m_name = data.name;
    m_pixelSize = data.pixelSize;
    m_underline = (data.flags & kFlagUnderline) != 0;
    m_hinting = (data.flags & kFlagHinting) != 0;
    if (m_engine == nullptr)
        return false;
    auto cache = m_engine->createRenderCache(fontKey(m_resourceId, m_name), {m_pixelSize, m_hinting}, std::move(bytes));
    if (!cache)
        return false;
    m_renderCaches.try_emplace(1.0F, std::move(cache));
    if (m_backingScale == 1.0F)
        m_current = m_renderCaches[1.0F].get();
    return true;
}

void Font::setBackingScaleFactor(float scale) const
{
    if (scale == m_backingScale)
        return;
    m_backingScale = scale;
    m_current = nullptr;
    // A scale that is not a positive number has no face: the font draws
    // nothing at it. It is not looked up either, as a NaN would match any
    // key of the map.
    if (!std::isfinite(scale) || !(scale > 0.0F))
        return;
    const auto found = m_renderCaches.find(scale);
    if (found != m_renderCaches.end()) {
        m_current = found->second.get();
        return;
    }
    if (m_engine == nullptr)
        return;
    const float scaled = std::fmin(static_cast<float>(m_pixelSize) * scale, float(DETAIL::FreeType::kMaxPixelSize));
    const auto size = static_cast<std::int32_t>(std::lroundf(scaled));
    auto cache = m_engine->createRenderCache(fontKey(m_resourceId, m_name), {size, m_hinting}, nullptr);
    if (!cache)
        return;
    m_current = cache.get();
    m_renderCaches.emplace(scale, std::move(cache));
}

DETAIL::FTRenderCache* Font::getRenderCache() const
{
    return m_current;
}

int Font::getCharHeight() const
{
    return m_current != nullptr ? m_current->lineHeight() : kHeightWithoutFace;
}

int Font::getStringWidth(const char* text, int length) const
{
    if (length == 0 || text == nullptr || m_current == nullptr)
        return 0;
    const char* end = length < 0 ? text + std::strlen(text) : text + length;
    DETAIL::GlyphTextReader reader(text, end);
    int sum = 0;
    char32_t cp;
    while (reader.next(cp) && cp != 0 && cp != U'\n')
        sum += glyphWidth(m_current, cp);
    return sum;
}

int Font::getStringWidthMultiline(const std::string& text) const
{
    int widest = 0;
    std::size_t start = 0;
    for (;;) {
        widest = std::max(widest, getStringWidth(text.c_str() + start, -1));
        const std::size_t newline = text.find('\n', start);
        if (newline == std::string::npos)
            return widest;
        start = newline + 1;
    }
}

int Font::getCharPos(const char* text, int x, eRounding rounding) const
{
    if (x < 1 || text == nullptr)
        return 0;
    DETAIL::GlyphTextReader reader(text, text + std::strlen(text));
    long long pos = 0;
    for (;;) {
        const char* before = reader.position();
        char32_t cp;
        if (!reader.next(cp) || cp == 0 || cp == U'\n')
            return static_cast<int>(before - text);
        const int w = m_current != nullptr ? glyphWidth(m_current, cp) : 0;
        if (pos + w > x) {
            const long long after = pos + w;
            const char* behind = reader.position();
            if (rounding == eRoundUp)
                return static_cast<int>(behind - text);
            if (rounding == eRoundNearest && (after - x) < (x - pos))
                return static_cast<int>(behind - text);
            return static_cast<int>(before - text);
        }
        pos += w;
    }
}

} // namespace QV::UIA
