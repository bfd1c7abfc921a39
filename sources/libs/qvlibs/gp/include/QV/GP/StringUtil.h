#pragma once

#include <QV/GP/CharSequence.h>

#include <cstddef>
#include <string>
#include <utility>

namespace QV::GP {

// Conversions between the system's UTF-8 text and the UTF-16 found at the
// platform's edges, and the small text helpers built on them.
//
// Every conversion here filters: a malformed or truncated UTF-8 sequence, or
// a UTF-16 surrogate without its partner, produces no output and conversion
// goes on behind it. Nothing is reported, because the text comes from places
// (device descriptors, files, the platform) where a partly readable name is
// more useful than none. Only the bad bytes are dropped: the unit that shows
// a sequence to be broken is decoded afresh, so UTF-8 41 C3 28 42 gives
// "A(B" and a high surrogate followed by 'x' gives "x".
//
// Search and comparison go by code point and are strict: malformed UTF-8
// raises std::out_of_range (see UTF8CodePointReader). Positions and counts
// are byte offsets into the UTF-8 text.
class StringUtil
{
public:
    StringUtil() = delete;

    // UTF-16 code units to UTF-8. A null text is taken as empty.
    template <typename CharT>
    static std::string fromUTF(const CharT* text, unsigned long count);

    // UTF-16 to UTF-8, or UTF-8 of any quality to well-formed UTF-8.
    template <typename CharT>
    static std::string fromUTF_filter(const std::basic_string<CharT>& text);

    // The byte position of the first place at or after start where pattern
    // matches case-insensitively, else npos. An empty pattern matches at
    // start unless start is at (or past) the end of text.
    static std::size_t findPosOfSubStringNoCase(const std::string& text, const std::string& pattern,
                                                unsigned long start);

    // How many bytes of text, from start on, match prefix code point by code
    // point from its beginning.
    static std::size_t countMatchingCharacters(const std::string& text, const std::string& prefix,
                                               unsigned long start, bool caseSensitive);

    // Appends c when it is an ASCII character other than NUL.
    static void appendCharASCII(std::string& text, char c);

    // A copy of text when all of it is ASCII without NULs, else "".
    static std::string toAscii(const std::string& text);

    // Removes the first count bytes, or everything when there are fewer.
    static void removeFirst(std::string& text, unsigned long count);

    // Text from outside (a device's serial number, product name) made fit to
    // be printed or shown: well-formed UTF-8 (malformed bytes dropped, as the
    // conversions above drop them) in which every control character (U+0000
    // to U+001F, U+007F to U+009F) is replaced by U+FFFD. An escape sequence
    // or a line break inside a device's string then cannot move the cursor,
    // change a terminal's state or forge a line of output of its own.
    static std::string printable(const std::string& text);
};

template <>
std::string StringUtil::fromUTF<char16_t>(const char16_t* text, unsigned long count);
template <>
std::string StringUtil::fromUTF_filter<char16_t>(const std::u16string& text);
template <>
std::string StringUtil::fromUTF_filter<char>(const std::string& text);

namespace details {

template <typename To, typename From, bool Filter>
struct utf_to_utf;

// UTF-8 to UTF-16, filtering.
template <>
struct utf_to_utf<char16_t, char, true>
{
    static std::u16string apply(const std::string& text);
};

template <typename T, typename From, bool Filter>
class utf_to_utf_chseqref;

// UTF-16 text converted from UTF-8 for a platform call or a UTF-16 file
// field. It owns the converted text and hands it out as a character
// sequence, so the call site stays one expression. T is char16_t or the
// unsigned short that older platform interfaces use for UTF-16 units.
template <typename T>
class utf_to_utf_chseqref<T, char, true>
{
    static_assert(sizeof(T) == 2, "UTF-16 code units are two bytes wide");

public:
    static utf_to_utf_chseqref create(const std::string& text);

    const T* data() const noexcept { return m_text.data(); }
    std::size_t length() const noexcept { return m_text.size(); }
    operator CharSequence<T>() const noexcept { return CharSequence<T>(m_text.data(), m_text.size()); }

    // Unlike a bare CharSequence, this one owns its text and its units are
    // always followed by a NUL unit, so it may also be passed where a
    // terminated string is expected.
    bool ownsText() const noexcept { return m_ownsText; }
    bool isNulTerminated() const noexcept { return m_nulTerminated; }

private:
    explicit utf_to_utf_chseqref(std::basic_string<T>&& text) noexcept : m_text(std::move(text)) {}

    bool m_ownsText = true;
    bool m_nulTerminated = true;
    std::basic_string<T> m_text;
};

extern template class utf_to_utf_chseqref<char16_t, char, true>;
extern template class utf_to_utf_chseqref<unsigned short, char, true>;

} // namespace details

} // namespace QV::GP
