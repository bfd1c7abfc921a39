#pragma once

#include <QV/GP/CharSequence.h>

#include <cstddef>

namespace QV::GP {

// Strict code-point iteration over UTF-8 held in a view. It reads only
// inside the view: a sequence cut short by the end of the view is as
// malformed as one broken by a wrong byte. Malformed UTF-8 (including
// overlong forms, encoded surrogates and values above U+10FFFF) raises
// std::out_of_range with the text "Invalid UTF-8 sequence encountered while
// trying to encode UTF-32 character", because a search or comparison over
// text it cannot read has no meaningful answer.
class UTF8CodePointReader
{
public:
    UTF8CodePointReader(const char* begin, const char* end) noexcept : m_position(begin), m_end(end) {}
    explicit UTF8CodePointReader(const CharSequence<char>& text) noexcept
        : m_position(text.data()), m_end(text.data() + text.length())
    {
    }

    bool atEnd() const noexcept { return m_position == m_end; }

    // Where the next code point starts; always on a code-point boundary.
    const char* position() const noexcept { return m_position; }

    // Decodes the next code point and moves behind it. Must not be called
    // at the end.
    char32_t next();

    // What nextLenient() gives for a malformed sequence.
    static constexpr char32_t kInvalid = 0xFFFFFFFFu;

    // For text that is shown rather than searched, where one bad byte must
    // not cost the rest of the line: decodes the next code point, or gives
    // kInvalid for a malformed sequence and moves past its maximal ill-formed
    // prefix only, so the byte that broke it starts the next call. Must not
    // be called at the end.
    char32_t nextLenient() noexcept;

private:
    const char* m_position;
    const char* m_end;
};

} // namespace QV::GP
