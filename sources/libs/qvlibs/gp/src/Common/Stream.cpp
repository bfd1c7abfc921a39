#include <QV/GP/Stream.h>

#include <QV/GP/IStorage.h>

#include <cstring>

namespace QV::GP {

namespace {

std::uint16_t reversed(std::uint16_t value)
{
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

std::uint32_t reversed(std::uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

} // namespace

bool Stream::readExactly(void* value, std::size_t size)
{
    if (readRaw(value, size) == size)
        return true;
    std::memset(value, 0, size);
    return false;
}

void Stream::write(const void* value, std::size_t size)
{
    if (m_storage != nullptr)
        m_storage->write(value, size);
}

std::size_t Stream::readRaw(void* buffer, std::size_t count)
{
    return m_storage != nullptr ? m_storage->read(buffer, count) : 0;
}

std::int8_t Stream::readS8()
{
    std::int8_t value = 0;
    readExactly(&value, sizeof value);
    return value;
}

std::uint8_t Stream::readU8()
{
    std::uint8_t value = 0;
    readExactly(&value, sizeof value);
    return value;
}

std::uint16_t Stream::readU16()
{
    std::uint16_t value = 0;
    readExactly(&value, sizeof value);
    return m_byteOrder == Endian::eLittleEndian ? value : reversed(value);
}

std::uint32_t Stream::readU32()
{
    std::uint32_t value = 0;
    readExactly(&value, sizeof value);
    return m_byteOrder == Endian::eLittleEndian ? value : reversed(value);
}

std::int32_t Stream::readS32()
{
    return static_cast<std::int32_t>(readU32());
}

bool Stream::readBoolean()
{
    return readU8() != 0;
}

void Stream::writeU32(std::uint32_t value)
{
    const std::uint32_t stored = m_byteOrder == Endian::eLittleEndian ? value : reversed(value);
    write(&stored, sizeof stored);
}

void Stream::writeS32(std::int32_t value)
{
    writeU32(static_cast<std::uint32_t>(value));
}

void Stream::writeBoolean(bool value)
{
    const std::uint8_t stored = value ? 1 : 0;
    write(&stored, sizeof stored);
}

} // namespace QV::GP
