#include <QV/GP/StringUtil.h>

#include <QV/GP/TextCompare.h>
#include <QV/GP/UTF8CodePointReader.h>

#include "Common/UTFCodec.h"

#include <algorithm>
#include <stdexcept>

namespace QV::GP {

template <>
std::string StringUtil::fromUTF<char16_t>(const char16_t* text, unsigned long count)
{
    if (text == nullptr)
        return {};
    return UTFCodec::utf16ToUTF8(text, count);
}

template <>
std::string StringUtil::fromUTF_filter<char16_t>(const std::u16string& text)
{
    return UTFCodec::utf16ToUTF8(text.data(), text.size());
}

template <>
std::string StringUtil::fromUTF_filter<char>(const std::string& text)
{
    return UTFCodec::filterUTF8(text.data(), text.size());
}

namespace {

char32_t foldCase(char32_t c, bool caseSensitive)
{
    return caseSensitive ? c : DETAIL::toUpperCodePoint(c);
}

// The number of bytes of text that match prefix code point by code point,
// and whether all of prefix was matched.
struct PrefixMatch
{
    std::size_t bytes;
    bool whole;
};

PrefixMatch matchPrefix(UTF8CodePointReader text, UTF8CodePointReader prefix, bool caseSensitive)
{
    const char* const begin = text.position();
    while (!prefix.atEnd() && !text.atEnd()) {
        const char* const before = text.position();
        if (foldCase(text.next(), caseSensitive) != foldCase(prefix.next(), caseSensitive))
            return {static_cast<std::size_t>(before - begin), false};
    }
    return {static_cast<std::size_t>(text.position() - begin), prefix.atEnd()};
}

} // namespace

std::size_t StringUtil::findPosOfSubStringNoCase(const std::string& text, const std::string& pattern,
                                                 unsigned long start)
{
    if (start >= text.size())
        return std::string::npos;
    UTF8CodePointReader candidates(text.data() + start, text.data() + text.size());
    while (!candidates.atEnd()) {
        const char* const at = candidates.position();
        if (matchPrefix(UTF8CodePointReader(at, text.data() + text.size()), UTF8CodePointReader(pattern), false).whole)
            return static_cast<std::size_t>(at - text.data());
        candidates.next();
    }
    return std::string::npos;
}

std::size_t StringUtil::countMatchingCharacters(const std::string& text, const std::string& prefix,
                                                unsigned long start, bool caseSensitive)
{
    if (start >= text.size())
        return 0;
    return matchPrefix(UTF8CodePointReader(text.data() + start, text.data() + text.size()),
                       UTF8CodePointReader(prefix), caseSensitive)
        .bytes;
}

template <>
int wstrcmpc<char>(const char* a, const char* b, bool caseSensitive)
{
    const std::string_view left = a != nullptr ? std::string_view(a) : std::string_view();
    const std::string_view right = b != nullptr ? std::string_view(b) : std::string_view();
    UTF8CodePointReader l(left.data(), left.data() + left.size());
    UTF8CodePointReader r(right.data(), right.data() + right.size());
    for (;;) {
        if (l.atEnd())
            return r.atEnd() ? 0 : -1;
        if (r.atEnd())
            return 1;
        const char32_t x = foldCase(l.next(), caseSensitive);
        const char32_t y = foldCase(r.next(), caseSensitive);
        if (x != y)
            return x < y ? -1 : 1;
    }
}

bool DETAIL::equalIgnoringCase(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    // ASCII texts, as most names and extensions are, need no decoding.
    const auto ascii = [](const std::string& text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (ascii(a) && ascii(b))
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
                   return upper(x) == upper(y);
               });
    try {
        return wstrcmpc(a.c_str(), b.c_str(), false) == 0;
    } catch (const std::out_of_range&) {
        return false;
    }
}

namespace {

bool isASCIIWithoutNul(char c)
{
    return c > 0 && static_cast<unsigned char>(c) < 0x80;
}

} // namespace

void StringUtil::appendCharASCII(std::string& text, char c)
{
    if (isASCIIWithoutNul(c))
        text.push_back(c);
}

std::string StringUtil::toAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), isASCIIWithoutNul) ? text : std::string();
}

void StringUtil::removeFirst(std::string& text, unsigned long count)
{
    text.erase(0, std::min<std::size_t>(count, text.size()));
}

namespace {

bool isControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

std::string StringUtil::printable(const std::string& text)
{
    static constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD in UTF-8
    const std::string wellFormed = fromUTF_filter<char>(text);
    std::string shown;
    shown.reserve(wellFormed.size());
    UTF8CodePointReader reader(wellFormed.data(), wellFormed.data() + wellFormed.size());
    while (!reader.atEnd()) {
        const char* const start = reader.position();
        if (isControlCharacter(reader.next()))
            shown += kReplacement;
        else
            shown.append(start, reader.position());
    }
    return shown;
}

namespace details {

std::u16string utf_to_utf<char16_t, char, true>::apply(const std::string& text)
{
    return UTFCodec::utf8ToUTF16<char16_t>(text.data(), text.size());
}

template <typename T>
utf_to_utf_chseqref<T, char, true> utf_to_utf_chseqref<T, char, true>::create(const std::string& text)
{
    return utf_to_utf_chseqref(UTFCodec::utf8ToUTF16<T>(text.data(), text.size()));
}

template class utf_to_utf_chseqref<char16_t, char, true>;
template class utf_to_utf_chseqref<unsigned short, char, true>;

} // namespace details

} // namespace QV::GP
