#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/InternalClipBoardFormat.h>

#include <cstdio>
#include <cstring>

namespace QV::UIA {

namespace {
// Its address names the type, so that no other process shares it.
const char s_typeAnchor = 0;
} // namespace

InternalClipBoardFormat::InternalClipBoardFormat() : RawDataClipBoardFormat(FormatHandle()) {}

InternalClipBoardFormat::InternalClipBoardFormat(const DragDropData* data, WindowBase* window)
    : RawDataClipBoardFormat(FormatHandle()), m_data(data), m_window(window)
{
}

const std::string& InternalClipBoardFormat::typeName()
{
    static const std::string name = [] {
        // glibc prints a pointer as 0x and lower-case hexadecimal digits.
        char address[2 + 2 * sizeof(void*) + 1];
        std::snprintf(address, sizeof address, "%p", static_cast<const void*>(&s_typeAnchor));
        return std::string("velmora.application.internalclipboardformat.") + address;
    }();
    return name;
}

const ClipBoardFormatHandle& InternalClipBoardFormat::FormatHandle()
{
    static const ClipBoardFormatHandle handle(typeName().c_str());
    return handle;
}

bool InternalClipBoardFormat::readRawData(const void* data, unsigned long size)
{
    if (data == nullptr || size < kRawSize)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::memcpy(&m_data, bytes, sizeof m_data);
    std::memcpy(&m_window, bytes + sizeof m_data, sizeof m_window);
    return true;
}

void InternalClipBoardFormat::writeRawData(void* destination) const
{
    auto* bytes = static_cast<unsigned char*>(destination);
    std::memcpy(bytes, &m_data, sizeof m_data);
    std::memcpy(bytes + sizeof m_data, &m_window, sizeof m_window);
}

} // namespace QV::UIA
