#include <QV/GP/GetTextDomain.h>

#include <QV/GP/GetTextLoader.h>

namespace QV::GP {

GetTextDomain::GetTextDomain(std::map<std::string, std::string> translations)
    : m_translations(std::make_move_iterator(translations.begin()),
                     std::make_move_iterator(translations.end()))
{
}

const std::string& GetTextDomain::get(const char* key)
{
    const std::string_view text = key ? std::string_view(key) : std::string_view();
    std::lock_guard<std::mutex> lock(m_mutex);
    auto cached = m_cache.find(text);
    if (cached != m_cache.end())
        return cached->second;
    auto translated = m_translations.find(text);
    const std::string& value = translated != m_translations.end() ? translated->second : std::string(text);
    return m_cache.emplace(std::string(text), value).first->second;
}

GetTextDomain& GetLibraryTextDomain()
{
    static GetTextDomain domain([] {
        std::map<std::string, std::string> translations;
        if (GetTextLoader::isLocaleChosen())
            GetTextLoader::loadLocaleDomain(translations, "lib", GetTextLoader::s_Locale);
        return translations;
    }());
    return domain;
}

} // namespace QV::GP
