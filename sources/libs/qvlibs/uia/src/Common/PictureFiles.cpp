#include <QV/UIA/Picture.h>

#include "Common/PictureDecoding.h"

#include <QV/GP/IStorage.h>
#include <QV/GP/Stream.h>

#include <utility>

namespace QV::UIA {

namespace DETAIL {

bool hasTranslucentPixel(const Picture& picture) noexcept
{
    const std::uint32_t* pixel = picture.getPixels();
    const std::uint32_t* const end = pixel + std::size_t(picture.getWidth()) * std::size_t(picture.getHeight());
    for (; pixel != end; ++pixel)
        if (*pixel < 0xFF000000u)
            return true;
    return false;
}

} // namespace DETAIL

bool Picture::readDetect(GP::Stream& stream, eOrientation orientation, bool detectAlpha)
{
    // The format is told by content alone, so each reader starts again from
    // where the stream stood; without a storage there is nothing to read.
    GP::IStorage* storage = stream.getStorage();
    const long long start = storage != nullptr ? storage->getPos64() : -1;
    auto rewind = [&] {
        if (storage != nullptr && start >= 0)
            storage->seek64(start, GP::IStorage::eSeekFromStart);
    };
    if (readPNG(stream, orientation, detectAlpha))
        return true;
    rewind();
    if (readJPG(stream, orientation, detectAlpha))
        return true;
    rewind();
    return readTGA(stream, orientation, detectAlpha);
}

void Picture::adoptPixels(Picture& decoded) noexcept
{
    m_buffer = std::move(decoded.m_buffer);
    m_pixels = std::exchange(decoded.m_pixels, nullptr);
    m_width = std::exchange(decoded.m_width, 0);
    m_height = std::exchange(decoded.m_height, 0);
    m_capacity = std::exchange(decoded.m_capacity, 0);
    m_origin = {};
    resetClipRect();
}

} // namespace QV::UIA
