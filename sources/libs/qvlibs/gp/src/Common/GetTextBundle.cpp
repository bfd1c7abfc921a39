#include "Common/GetTextBundle.h"

#include <QV/GP/DebugTrace.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileStream.h>
#include <QV/GP/GetTextLoader.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace QV::GP {

namespace {

// Longest file-system path of a catalogue, in UTF-8 bytes.
constexpr std::size_t kMaxPathLength = 4096;

bool isCLocale(const std::string& name)
{
    return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The language a locale name or a localization's folder name is written in,
// as a lower-case ISO 639-1 code where one is known. Bundles name their
// localizations by three-letter codes (ENG), by English names (French) or by
// locale names (fr_FR).
std::string languageOf(const std::string& name)
{
    static const std::pair<const char*, const char*> kAliases[] = {
        {"eng", "en"}, {"english", "en"}, {"fra", "fr"}, {"fre", "fr"}, {"french", "fr"},
        {"deu", "de"}, {"ger", "de"}, {"german", "de"}, {"jpn", "ja"}, {"japanese", "ja"},
        {"ita", "it"}, {"italian", "it"}, {"spa", "es"}, {"spanish", "es"},
    };
    std::string language = lowerCase(name.substr(0, name.find_first_of("_-.@")));
    for (const auto& [alias, code] : kAliases)
        if (language == alias)
            return code;
    return language;
}

} // namespace

namespace DETAIL {

std::vector<std::string> bundleLocalizations(const std::string& resourcePath)
{
    std::vector<std::string> localizations;
    std::error_code error;
    for (std::filesystem::directory_iterator it(resourcePath, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() == ".lproj" && it->is_directory(error))
            localizations.push_back(path.stem().string());
    }
    std::sort(localizations.begin(), localizations.end());
    return localizations;
}

std::vector<std::string> userLanguages()
{
    std::vector<std::string> languages;
    auto add = [&languages](const std::string& name) {
        if (!name.empty() && !isCLocale(name))
            languages.push_back(name);
    };
    if (const char* list = std::getenv("LANGUAGE")) {
        const std::string text(list);
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t end = std::min(text.find(':', start), text.size());
            add(text.substr(start, end - start));
            start = end + 1;
        }
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            add(value);
            break;
        }
    }
    return languages;
}

std::string preferredLocalization(const std::vector<std::string>& localizations,
                                  const std::vector<std::string>& languages)
{
    for (const std::string& language : languages) {
        const std::string wanted = languageOf(language);
        for (const std::string& localization : localizations)
            if (languageOf(localization) == wanted)
                return localization;
    }
    for (const std::string& localization : localizations)
        if (languageOf(localization) == "en")
            return localization;
    return localizations.empty() ? std::string() : localizations.front();
}

std::string chooseLocaleCode(const std::string& resourcePath, const char* locale)
{
    const bool hasLocale = locale && *locale;
    if (resourcePath.empty())
        return hasLocale ? GetTextLoader::getLocaleIdentifier(locale) : "";
    if (hasLocale)
        return GetTextLoader::getLocaleIdentifier(locale);
    const std::string preferred =
        preferredLocalization(bundleLocalizations(resourcePath), userLanguages());
    return preferred.empty() ? "ENG" : GetTextLoader::getLocaleIdentifier(preferred.c_str());
}

bool loadLocaleDomainFrom(const std::string& resourcePath, std::map<std::string, std::string>& into,
                          const char* domain, const char* locale)
{
    if (resourcePath.empty() || !domain || !locale)
        return false;
    const std::string path = resourcePath + "/" + locale + ".lproj/" + domain + ".mo";
    if (path.size() > kMaxPathLength)
        return false;
    // A language without a catalogue is normal: nothing is said about it.
    FileStream stream;
    if (!stream.getFileStorage().open(FileName(boost::filesystem::path(path)), IStorage::eAccessRead))
        return false;
    std::string why;
    if (GetTextLoader::loadDomain(into, stream, &why))
        return true;
    // Diagnostics of the library go through its trace, whose lines of the
    // empty group always reach the error stream (or the trace file).
    DebugTrace::printLine("", "catalogue " + path + " not loaded: " + why);
    return false;
}

} // namespace DETAIL

} // namespace QV::GP
