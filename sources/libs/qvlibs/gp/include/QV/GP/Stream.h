#pragma once

#include <QV/GP/Endian.h>

#include <cstddef>
#include <cstdint>

namespace QV::GP {

class IStorage;

// Typed values read from and written to a storage in a chosen byte order.
// The stream never checks the storage's answers for the caller: after a run
// of reads the caller looks at the storage's state. A typed read that does
// not get all its bytes answers 0 (false), never a value made of stale bytes.
//
// The storage is not owned here; the concrete streams own theirs.
// Thread affinity: one thread at a time.
class Stream
{
public:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    virtual ~Stream() = default;

    void setStorage(IStorage* storage) noexcept { m_storage = storage; }
    IStorage* getStorage() const noexcept { return m_storage; }
    void setByteOrder(Endian::eByteOrder order) noexcept { m_byteOrder = order; }
    Endian::eByteOrder getByteOrder() const noexcept { return m_byteOrder; }

    std::int8_t readS8();
    std::uint8_t readU8();
    std::uint16_t readU16();
    std::uint32_t readU32();
    std::int32_t readS32();
    bool readBoolean();
    // The storage's count of bytes read; 0 without a storage.
    std::size_t readRaw(void* buffer, std::size_t count);

    void writeU32(std::uint32_t value);
    void writeS32(std::int32_t value);
    void writeBoolean(bool value);

private:
    // Fills the bytes of one value; false, with the value zeroed, when fewer
    // arrive.
    bool readExactly(void* value, std::size_t size);
    void write(const void* value, std::size_t size);

    IStorage* m_storage = nullptr;
    Endian::eByteOrder m_byteOrder = Endian::eLittleEndian;
};

} // namespace QV::GP
