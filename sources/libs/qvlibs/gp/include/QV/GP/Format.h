#pragma once

#include <boost/format.hpp>

#include <string>

namespace QV::GP::DETAIL {

// Message templates: a template and a few values turned into display text
// in one expression. The template language is Boost.Format's, unchanged
// ("%1%", printf-style directives, "%%"), and so is its error policy: a
// malformed template raises boost::io::bad_format_string, a surplus argument
// boost::io::too_many_args and a missing one boost::io::too_few_args. Nothing
// is caught here; a caller that shows the text to a user decides what to
// show instead. Text passes through as bytes, so UTF-8 stays UTF-8.

template <typename CharT>
struct FormatHelper;

template <>
struct FormatHelper<char>
{
    using FormatResultStringType = std::string;
};

// Arguments are rendered by stream insertion, which writes a signed or
// unsigned char as the character it encodes. Those types are byte-sized
// numbers here (a uint8_t revision or status must not come out as a control
// character), so they are widened first; plain char stays a character.
template <typename T>
constexpr const T& formatArgument(const T& value) noexcept
{
    return value;
}

constexpr int formatArgument(unsigned char value) noexcept
{
    return value;
}

constexpr int formatArgument(signed char value) noexcept
{
    return value;
}

// A template with one argument.
template <typename CharT, typename T>
typename FormatHelper<CharT>::FormatResultStringType BasicFormat(const CharT* format, const T& argument)
{
    return (boost::basic_format<CharT>(format) % formatArgument(argument)).str();
}

template <typename CharT>
struct FormatApply;

// A prepared template with two or three arguments. The template is taken by
// value so that the caller's object can be used again.
template <>
struct FormatApply<char>
{
    template <typename A, typename B>
    static std::string apply(boost::basic_format<char> format, const A& first, const B& second)
    {
        return (format % formatArgument(first) % formatArgument(second)).str();
    }

    template <typename A, typename B, typename C>
    static std::string apply(boost::basic_format<char> format, const A& first, const B& second, const C& third)
    {
        return (format % formatArgument(first) % formatArgument(second) % formatArgument(third)).str();
    }
};

} // namespace QV::GP::DETAIL
