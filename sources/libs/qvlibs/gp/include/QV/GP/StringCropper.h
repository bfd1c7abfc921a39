#pragma once

#include <QV/GP/CharSequence.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace QV::GP {

class FileName;

// Fits one line of UTF-8 text into a width in pixels. It knows nothing of
// fonts: the caller passes one callback that gives the pixel width of a
// NUL-terminated text and one that gives how many leading bytes of a text lie
// wholly within a pixel width. The owner sets the mode, the replacement text
// put where text was taken out, and the abbreviation table directly; cropping
// reads them and changes nothing, so one cropper serves any number of texts
// and threads.
//
// No strategy reports failure: text that cannot be made to fit ends as short
// as the strategy allows. Strategies that step by characters (append,
// prepend, the file-name fallbacks and both middle strategies) raise
// std::out_of_range on malformed UTF-8 they step over, as strict code-point
// iteration does; an empty callback raises std::bad_function_call. Neither is
// caught here: the caller knows what to show instead.
class StringCropper
{
public:
    enum eMode : std::uint32_t
    {
        kNone = 0,
        kAppend = 1,
        kPrepend = 2,
        kFileName = 3,
        kFileNameAliases = 4,
        kFileNameNoTrailingSeparator = 5,
        kFileNameAliasesNoTrailingSeparator = 6,
        kShrink = 7,
        kShrink2 = 8,
        kShrink3 = 9,
        kMiddle = 10,
        kMiddle2 = 11,
    };

    // Byte-wise order of the keys; the table's order is the order in which
    // abbreviations are tried.
    struct AbbreviationCompare
    {
        bool operator()(const std::string& a, const std::string& b) const noexcept { return a < b; }
    };

    using WidthFunction = std::function<int(const char*)>;
    using CharPosFunction = std::function<int(const char*, int)>;

    StringCropper() = default;

    // The text cropped by the strategy of the mode; mode kNone, and any value
    // outside the table, gives the text unchanged however wide it is.
    std::string cropString(const CharSequence<char>& text, int width, const WidthFunction& widthOf,
                           const CharPosFunction& charPos) const;

    std::string cropStringAppend(const CharSequence<char>& text, const WidthFunction& widthOf,
                                 const CharPosFunction& charPos, int width) const;
    std::string cropStringPrepend(const CharSequence<char>& text, const WidthFunction& widthOf,
                                  const CharPosFunction& charPos, int width) const;
    std::string cropStringFileName(const CharSequence<char>& text, const WidthFunction& widthOf,
                                   const CharPosFunction& charPos, int width) const;
    std::string cropStringShrink(const CharSequence<char>& text, const WidthFunction& widthOf,
                                 const CharPosFunction& charPos, int width) const;
    std::string cropStringShrink2(const CharSequence<char>& text, const WidthFunction& widthOf,
                                  const CharPosFunction& charPos, int width) const;
    std::string cropStringShrink3(const CharSequence<char>& text, const WidthFunction& widthOf,
                                  const CharPosFunction& charPos, int width) const;
    std::string cropStringMiddle(const CharSequence<char>& text, const WidthFunction& widthOf,
                                 const CharPosFunction& charPos, int width) const;
    std::string cropStringMiddle2(const CharSequence<char>& text, const WidthFunction& widthOf,
                                  const CharPosFunction& charPos, int width) const;

    // Fills the folder-alias table from the system's folders once per
    // process. Not locked: the first crop in an alias mode must not run on
    // two threads at once; afterwards the table is only read.
    static void initFileNameAliasMap();
    // Adds one folder: its colon-form path (without a trailing ':') stands
    // for "[" + its last component + "]". A folder without a component
    // (a bare volume) is not added.
    static void addAlias(const FileName& folder);

    eMode m_eMode = kNone;
    std::string m_strReplacement;
    std::map<std::string, std::string, AbbreviationCompare> m_mapAbbreviations;

    static std::map<std::string, std::string> s_mapSymbolicFolders;
    static bool s_bSymbolicFoldersInitialized;

private:
    class Measure;

    std::string append(const std::string& text, const Measure& measure) const;
    std::string prepend(const std::string& text, const Measure& measure) const;
    std::string shrinkByWords(std::string text, const Measure& measure) const;
};

} // namespace QV::GP
