#include <QV/GP/TextCompare.h>

#include <locale>
#include <stdexcept>

namespace QV::GP::DETAIL {

namespace {

// C.UTF-8 comes with every current glibc and carries the full simple case
// mapping; a named language locale may not be installed at all. The classic
// locale, the last resort, maps ASCII letters only.
std::locale makeCaseMappingLocale()
{
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        try {
            return std::locale(name);
        } catch (const std::runtime_error&) {
        }
    }
    return std::locale::classic();
}

} // namespace

char32_t toUpperCodePoint(char32_t c)
{
    static_assert(sizeof(wchar_t) == sizeof(char32_t), "a wide character holds a whole code point");
    static const std::locale locale = makeCaseMappingLocale();
    static const auto& facet = std::use_facet<std::ctype<wchar_t>>(locale);
    return static_cast<char32_t>(facet.toupper(static_cast<wchar_t>(c)));
}

} // namespace QV::GP::DETAIL
