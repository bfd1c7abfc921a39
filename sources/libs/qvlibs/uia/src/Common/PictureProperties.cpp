#include <QV/UIA/PictureProperties.h>

#include <QV/GP/IStorage.h>
#include <QV/GP/Stream.h>

namespace QV::UIA {

void PictureProperties::setAlphaChannel(bool alpha)
{
    m_alphaChannel = alpha;
    propertiesChanged();
}

void PictureProperties::setHorizontalAnimation(bool horizontal)
{
    m_orientation = horizontal ? eHorizontal : eVertical;
    propertiesChanged();
}

void PictureProperties::setAnimationOrientation(eOrientation orientation)
{
    m_orientation = orientation;
    propertiesChanged();
}

void PictureProperties::setNumAnimations(unsigned int count)
{
    m_numAnimations = count;
    propertiesChanged();
}

void PictureProperties::setVertResizable(bool resizable)
{
    m_resizeBits = resizable ? (m_resizeBits | kVertResizable) : (m_resizeBits & kHorzResizable);
    propertiesChanged();
}

void PictureProperties::setHorzResizable(bool resizable)
{
    m_resizeBits = resizable ? (m_resizeBits | kHorzResizable) : (m_resizeBits & kVertResizable);
    propertiesChanged();
}

void PictureProperties::setFixedTop(int rows)
{
    m_fixedTop = rows;
    propertiesChanged();
}

void PictureProperties::setFixedBottom(int rows)
{
    m_fixedBottom = rows;
    propertiesChanged();
}

void PictureProperties::setFixedLeft(int columns)
{
    m_fixedLeft = columns;
    propertiesChanged();
}

void PictureProperties::setFixedRight(int columns)
{
    m_fixedRight = columns;
    propertiesChanged();
}

namespace {

// How far the stream's storage moved; -1 without a storage. Typed reads answer
// 0 for bytes that never came, so the position is the only sign of a record
// cut short.
long long storagePosition(GP::Stream& stream)
{
    GP::IStorage* storage = stream.getStorage();
    return storage != nullptr ? storage->getPos64() : -1;
}

} // namespace

bool PictureProperties::read(GP::Stream& stream)
{
    const long long start = storagePosition(stream);
    if (start < 0)
        return false;
    stream.readU32(); // the version; every version so far has the same fields
    const bool alpha = stream.readBoolean();
    const auto orientation = static_cast<eOrientation>(stream.readU32());
    const std::uint32_t count = stream.readU32();
    const std::uint32_t resize = stream.readU32();
    const std::int32_t top = stream.readS32();
    const std::int32_t bottom = stream.readS32();
    const std::int32_t left = stream.readS32();
    const std::int32_t right = stream.readS32();
    if (storagePosition(stream) - start != kRecordSize)
        return false;
    m_alphaChannel = alpha;
    m_orientation = orientation;
    m_numAnimations = count;
    m_resizeBits = resize;
    m_fixedTop = top;
    m_fixedBottom = bottom;
    m_fixedLeft = left;
    m_fixedRight = right;
    propertiesChanged();
    return true;
}

bool PictureProperties::write(GP::Stream& stream)
{
    const long long start = storagePosition(stream);
    if (start < 0)
        return false;
    stream.writeU32(kRecordVersion);
    stream.writeBoolean(m_alphaChannel);
    stream.writeU32(static_cast<std::uint32_t>(m_orientation));
    stream.writeU32(m_numAnimations);
    stream.writeU32(m_resizeBits);
    stream.writeS32(m_fixedTop);
    stream.writeS32(m_fixedBottom);
    stream.writeS32(m_fixedLeft);
    stream.writeS32(m_fixedRight);
    return storagePosition(stream) - start == kRecordSize;
}

} // namespace QV::UIA
