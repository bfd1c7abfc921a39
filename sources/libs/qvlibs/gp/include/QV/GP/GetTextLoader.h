#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace QV::GP {

class Stream;

// Finds and reads the library's translation catalogues: GNU gettext .mo files
// kept in the application bundle's language directories (lib.mo in ENG.lproj
// for the locale code "ENG").
//
// A catalogue is untrusted input. Every length, offset and count it holds is
// checked against the file's size before use, and a catalogue found damaged
// loads nothing at all: a half-read catalogue would mix translated and
// untranslated texts in one dialog. The reason is handed back to the caller
// (and written to the error stream when the catalogue came from the bundle).
//
// Thread affinity: initLocale runs once at start-up on the main thread; the
// readers may run on any thread.
class GetTextLoader
{
public:
    GetTextLoader() = delete;

    // Chooses the locale code that later catalogue look-ups use. A null or
    // empty locale takes the bundle's localization that best fits the user's
    // languages (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
    static void initLocale(const char* locale);

    // The code of a language name by its first two letters, without regard to
    // case: "ja"/"jp" JPN, "fr" FRA, "de" DEU, "it" ITA, "es"/"sp" SPA,
    // anything else (null included) ENG.
    static const char* getLocaleIdentifier(const char* language);

    // True when initLocale chose a locale (its code is in s_Locale).
    static bool isLocaleChosen();

    // Reads the catalogue of the domain for the locale code from the bundle
    // into the map; false when there is none or it is damaged.
    static bool loadLocaleDomain(std::map<std::string, std::string>& into, const char* domain,
                                 const char* locale);

    // Reads a whole catalogue from the stream's storage, from its start.
    static bool loadDomain(std::map<std::string, std::string>& into, Stream& stream,
                           std::string* why = nullptr);

    // Reads a catalogue held in memory. Source texts already in the map keep
    // their translation, as does the first of two equal source texts in the
    // catalogue. Translations in the charset that the header names are
    // converted to UTF-8; one that is not valid in that charset stays
    // untranslated, and a charset that cannot be converted loads nothing.
    // Time and memory grow with the size of the data, however its entries
    // share texts. On failure the map is left unchanged and why, when given,
    // says what is wrong with the data.
    static bool loadDomain(std::map<std::string, std::string>& into, const void* data,
                           std::size_t size, std::string* why = nullptr);

    // The chosen locale code, at most 15 characters; empty before initLocale,
    // the single character 1 when no locale could be chosen.
    static char s_Locale[16];
};

} // namespace QV::GP
