#pragma once

#include <map>
#include <string>
#include <vector>

// How the catalogue loader finds its way around the application bundle. Of
// the bundle only its resources folder is needed; the rest is plain
// file-system work on that folder, so that it can be exercised on a folder
// laid out like a bundle's.
namespace QV::GP::DETAIL {

// The bundle's localizations: the names of its *.lproj folders, without the
// extension, sorted.
std::vector<std::string> bundleLocalizations(const std::string& resourcePath);

// The user's languages in order of preference, from LANGUAGE (a list
// separated by colons) and then the first of LC_ALL, LC_MESSAGES and LANG
// that is set. The "C" and "POSIX" locales name no language and are left out.
std::vector<std::string> userLanguages();

// The localization that best fits the languages: the first language that one
// of the localizations is written in decides; without a match the English
// localization, or else the first one. Empty only without localizations.
std::string preferredLocalization(const std::vector<std::string>& localizations,
                                  const std::vector<std::string>& languages);

// The locale code that initLocale stores for a bundle with the given resources
// folder (empty: no bundle); an empty answer means no locale.
std::string chooseLocaleCode(const std::string& resourcePath, const char* locale);

// loadLocaleDomain for a bundle with the given resources folder.
bool loadLocaleDomainFrom(const std::string& resourcePath, std::map<std::string, std::string>& into,
                          const char* domain, const char* locale);

} // namespace QV::GP::DETAIL
