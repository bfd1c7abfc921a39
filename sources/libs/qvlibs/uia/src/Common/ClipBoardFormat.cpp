#include <QV/UIA/ClipBoardFormat.h>

namespace QV::UIA {

bool RawDataClipBoardFormat::addRawData(const unsigned char* data, long length)
{
    if (length < 0 || (data == nullptr && length != 0))
        return false;
    return readRawData(data, static_cast<unsigned long>(length));
}

void RawDataClipBoardFormat::writeOSData(std::vector<ClipBoardItemData>& items) const
{
    ClipBoardItemData bytes(getRawDataSize());
    if (!bytes.empty())
        writeRawData(bytes.data());
    items.push_back(std::move(bytes));
}

} // namespace QV::UIA
