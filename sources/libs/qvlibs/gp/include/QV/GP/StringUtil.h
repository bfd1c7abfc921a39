#pragma once

#include <QV/GP/CharSequence.h>

#include <cstddef>
#include <string>
#include <utility>

namespace QV::GP {

// Conversions between the system's UTF-8 text and the UTF-16 found at the
// platform's edges.
//
// Every conversion here filters: a malformed or truncated UTF-8 sequence, or
// a UTF-16 surrogate without its partner, produces no output and conversion
// goes on behind it. Nothing is reported, because the text comes from places
// (device descriptors, files, the platform) where a partly readable name is
// more useful than none. The unit that shows a sequence to be broken is
// dropped together with it: UTF-8 41 C3 28 42 gives "AB", and a UTF-16 high
// surrogate takes the unit that follows it down with it.
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
