#pragma once

#include <cstddef>
#include <vector>

namespace QV::UIA {

class ClipBoardFormatHandle;

// One pasteboard item's bytes.
using ClipBoardItemData = std::vector<unsigned char>;

// A kind of data on a pasteboard: it knows its type and turns its value into
// one or more items' bytes and back. Reading hands over each item's bytes
// after notifyNumItems announced how many may come.
class ClipBoardFormat
{
public:
    explicit ClipBoardFormat(const ClipBoardFormatHandle& handle) noexcept : m_handle(&handle) {}
    virtual ~ClipBoardFormat() = default;

    virtual void notifyNumItems(unsigned long) {}
    // Takes one item's bytes; false when they are no value of this format.
    virtual bool addRawData(const unsigned char* data, long length) = 0;
    // Appends one entry per item to write.
    virtual void writeOSData(std::vector<ClipBoardItemData>& items) const = 0;
    virtual bool canHoldMultipleItems() const { return false; }

    const ClipBoardFormatHandle& getHandle() const noexcept { return *m_handle; }

protected:
    const ClipBoardFormatHandle* m_handle;
};

// A format whose value is one block of bytes: it keeps the last item read
// and writes one item.
class RawDataClipBoardFormat : public ClipBoardFormat
{
public:
    using ClipBoardFormat::ClipBoardFormat;

    bool addRawData(const unsigned char* data, long length) override;
    void writeOSData(std::vector<ClipBoardItemData>& items) const override;

    virtual bool readRawData(const void* data, unsigned long size) = 0;
    // Fills getRawDataSize() bytes at destination.
    virtual void writeRawData(void* destination) const = 0;
    virtual unsigned long getRawDataSize() const = 0;
};

} // namespace QV::UIA
