#include <QV/GP/UTF8CodePointReader.h>

#include "Common/UTFCodec.h"

#include <stdexcept>

namespace QV::GP {

char32_t UTF8CodePointReader::next()
{
    if (m_position == m_end)
        throw std::out_of_range("Invalid UTF-8 sequence encountered while trying to encode UTF-32 character");
    const auto* p = reinterpret_cast<const unsigned char*>(m_position);
    char32_t cp;
    const std::size_t used = UTFCodec::decodeUTF8(p, reinterpret_cast<const unsigned char*>(m_end), cp);
    if (cp == UTFCodec::Invalid)
        throw std::out_of_range("Invalid UTF-8 sequence encountered while trying to encode UTF-32 character");
    m_position += used;
    return cp;
}

char32_t UTF8CodePointReader::nextLenient() noexcept
{
    const auto* p = reinterpret_cast<const unsigned char*>(m_position);
    char32_t cp;
    m_position += UTFCodec::decodeUTF8(p, reinterpret_cast<const unsigned char*>(m_end), cp);
    static_assert(kInvalid == UTFCodec::Invalid);
    return cp;
}

} // namespace QV::GP
