#pragma once

#include <cstddef>
#include <string>

namespace QV::GP {

// A view of text that it does not own: a pointer and a length. It is the
// usual parameter type for text, passed by const reference and built on the
// spot, so owned text is never copied just to be handed on. The length alone
// marks the end; the bytes need not be followed by a NUL, and a NUL inside
// them is text like any other character.
template <typename CharT>
class CharSequence
{
public:
    constexpr CharSequence(const CharT* data, std::size_t length) noexcept
        : m_data(data), m_length(length)
    {
    }

    // Implicit so that a std::string can be passed wherever a view is taken.
    // The view is only valid as long as the string is neither changed nor
    // destroyed.
    CharSequence(const std::basic_string<CharT>& text) noexcept
        : m_data(text.data()), m_length(text.size())
    {
    }

    constexpr const CharT* data() const noexcept { return m_data; }
    constexpr std::size_t length() const noexcept { return m_length; }

private:
    const CharT* m_data;
    std::size_t m_length;
};

} // namespace QV::GP
