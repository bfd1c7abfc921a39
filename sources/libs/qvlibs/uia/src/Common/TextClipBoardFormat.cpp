#include <QV/GP/StringUtil.h>
#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/TextClipBoardFormat.h>

#include <cstring>

namespace QV::UIA {

TextClipBoardFormat::TextClipBoardFormat() : RawDataClipBoardFormat(FormatHandle()) {}

TextClipBoardFormat::TextClipBoardFormat(const std::string& utf8) : TextClipBoardFormat()
{
    setValue(utf8);
}

const ClipBoardFormatHandle& TextClipBoardFormat::FormatHandle()
{
    static const ClipBoardFormatHandle handle(ClipBoardFormatHandle::s_StdTextFormat);
    return handle;
}

bool TextClipBoardFormat::readRawData(const void* data, unsigned long size)
{
    m_value.clear();
    const unsigned long units = size / 2;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (unsigned long i = 0; i < units; ++i) {
        // Copied unit by unit: the bytes of another program need not be
        // aligned for 16-bit reads.
        char16_t unit;
        std::memcpy(&unit, bytes + 2 * i, sizeof unit);
        if (unit == 0)
            break;
        m_value.push_back(unit);
    }
    fixupReadRawData();
    return true;
}

void TextClipBoardFormat::fixupReadRawData()
{
    std::u16string fixed;
    fixed.reserve(m_value.size());
    for (std::size_t i = 0; i < m_value.size(); ++i) {
        fixed.push_back(m_value[i]);
        if (m_value[i] == u'\r' && i + 1 < m_value.size() && m_value[i + 1] == u'\n')
            ++i;
    }
    if (!fixed.empty() && fixed.front() == 0xFEFF)
        fixed.erase(0, 1);
    m_value = std::move(fixed);
}

void TextClipBoardFormat::writeRawData(void* destination) const
{
    std::memset(destination, 0, getRawDataSize());
    if (!m_value.empty())
        std::memcpy(destination, m_value.data(), m_value.size() * sizeof(char16_t));
}

unsigned long TextClipBoardFormat::getRawDataSize() const
{
    return 2 * m_value.size();
}

std::string TextClipBoardFormat::getValue() const
{
    return GP::StringUtil::fromUTF_filter(m_value);
}

void TextClipBoardFormat::setValue(const std::string& utf8)
{
    m_value = GP::details::utf_to_utf<char16_t, char, true>::apply(utf8);
}

} // namespace QV::UIA
