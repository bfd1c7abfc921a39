#include <QV/GP/StringUtil.h>

#include <boost/locale/encoding_utf.hpp>

namespace QV::GP {

namespace {

// Boost.Locale's skip policy is exactly the filtering this library promises:
// its decoder rejects overlong forms, encoded surrogates, values above
// U+10FFFF and lead bytes that cannot start a sequence, consumes the unit
// that breaks a sequence, and drops whatever it rejects.
template <typename To, typename From>
std::basic_string<To> convertFiltering(const From* begin, const From* end)
{
    return boost::locale::conv::utf_to_utf<To, From>(begin, end, boost::locale::conv::skip);
}

} // namespace

template <>
std::string StringUtil::fromUTF<char16_t>(const char16_t* text, unsigned long count)
{
    if (text == nullptr)
        return {};
    return convertFiltering<char>(text, text + count);
}

template <>
std::string StringUtil::fromUTF_filter<char16_t>(const std::u16string& text)
{
    return convertFiltering<char>(text.data(), text.data() + text.size());
}

template <>
std::string StringUtil::fromUTF_filter<char>(const std::string& text)
{
    return convertFiltering<char>(text.data(), text.data() + text.size());
}

namespace details {

std::u16string utf_to_utf<char16_t, char, true>::apply(const std::string& text)
{
    return convertFiltering<char16_t>(text.data(), text.data() + text.size());
}

template <typename T>
utf_to_utf_chseqref<T, char, true> utf_to_utf_chseqref<T, char, true>::create(const std::string& text)
{
    return utf_to_utf_chseqref(convertFiltering<T>(text.data(), text.data() + text.size()));
}

template class utf_to_utf_chseqref<char16_t, char, true>;
template class utf_to_utf_chseqref<unsigned short, char, true>;

} // namespace details

} // namespace QV::GP
