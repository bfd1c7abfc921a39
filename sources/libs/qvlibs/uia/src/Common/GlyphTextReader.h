#pragma once

#include <QV/GP/UTF8CodePointReader.h>

namespace QV::UIA::DETAIL {

// Code points of UTF-8 text that is measured or drawn. Text on screen must
// never fail to paint over a bad byte, so a malformed sequence reads as
// U+FFFD and only its broken bytes are passed over. A character cut short by
// the end of the text (a length that ends inside it) ends the text there.
class GlyphTextReader
{
public:
    static constexpr char32_t kReplacement = 0xFFFD;

    GlyphTextReader(const char* begin, const char* end) noexcept : m_position(begin), m_end(end) {}

    bool atEnd() const noexcept { return m_position == m_end; }
    const char* position() const noexcept { return m_position; }

    // The byte at the position; only valid when not at the end.
    unsigned char peekByte() const noexcept { return static_cast<unsigned char>(*m_position); }
    void skipByte() noexcept { ++m_position; }

    // The next code point; false at the end.
    bool next(char32_t& cp) noexcept
    {
        if (m_position == m_end)
            return false;
        const auto lead = static_cast<unsigned char>(*m_position);
        if (lead < 0x80) {
            cp = lead;
            ++m_position;
            return true;
        }
        GP::UTF8CodePointReader reader(m_position, m_end);
        cp = reader.nextLenient();
        if (cp == GP::UTF8CodePointReader::kInvalid) {
            // A lead byte whose valid continuation runs into the end was cut
            // by the text's length, not broken.
            if (reader.atEnd() && lead >= 0xC2 && lead <= 0xF4) {
                m_position = m_end;
                return false;
            }
            cp = kReplacement;
        }
        m_position = reader.position();
        return true;
    }

private:
    const char* m_position;
    const char* m_end;
};

} // namespace QV::UIA::DETAIL
