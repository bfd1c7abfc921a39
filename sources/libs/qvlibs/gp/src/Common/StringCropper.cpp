#include <QV/GP/StringCropper.h>

#include <QV/GP/FSRef.h>
#include <QV/GP/FileName.h>
#include <QV/GP/StringUtil.h>
#include <QV/GP/UTF8CodePointReader.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace QV::GP {

std::map<std::string, std::string> StringCropper::s_mapSymbolicFolders;
bool StringCropper::s_bSymbolicFoldersInitialized = false;

namespace {

constexpr char kSeparator = ':';
constexpr const char* s_DoubleVocals[] = {"ei", "ie", "ou", "ue"};
constexpr const char* s_Vocals = "eaiou";

// The callbacks read their text as a C string, so a view into a larger
// buffer must not be handed to them as it stands: they would measure the
// bytes behind it. Every strategy works on its own copy, which also ends at
// an embedded NUL, since nothing behind one could be measured.
std::string ownedText(const CharSequence<char>& text)
{
    if (text.data() == nullptr)
        return {};
    const void* nul = std::memchr(text.data(), '\0', text.length());
    const std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data())
                                              : text.length();
    return std::string(text.data(), length);
}

// Where the character that starts at pos ends. Strict: malformed UTF-8
// raises std::out_of_range.
std::size_t nextBoundary(const std::string& text, std::size_t pos)
{
    UTF8CodePointReader reader(text.data() + pos, text.data() + text.size());
    reader.next();
    return static_cast<std::size_t>(reader.position() - text.data());
}

// Where the character that ends at pos starts, checked as strictly as
// stepping forward: the bytes found must decode to exactly one character.
std::size_t previousBoundary(const std::string& text, std::size_t pos)
{
    std::size_t start = pos - 1;
    while (start > 0 && pos - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    UTF8CodePointReader reader(text.data() + start, text.data() + pos);
    reader.next();
    if (!reader.atEnd())
        throw std::out_of_range("Invalid UTF-8 sequence encountered while trying to encode UTF-32 character");
    return start;
}

// The byte offset of every character boundary of text, from 0 to its size.
std::vector<std::size_t> boundaries(const std::string& text)
{
    std::vector<std::size_t> result{0};
    UTF8CodePointReader reader(text.data(), text.data() + text.size());
    while (!reader.atEnd()) {
        reader.next();
        result.push_back(static_cast<std::size_t>(reader.position() - text.data()));
    }
    return result;
}

// How many characters of a boundary list lie wholly before offset.
std::size_t charactersBefore(const std::vector<std::size_t>& bounds, std::size_t offset)
{
    return static_cast<std::size_t>(std::upper_bound(bounds.begin(), bounds.end(), offset) - bounds.begin()) - 1;
}

bool isAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void removeIf(std::string& text, bool (*drop)(char))
{
    text.erase(std::remove_if(text.begin(), text.end(), drop), text.end());
}

void collapseRuns(std::string& text)
{
    text.erase(std::unique(text.begin(), text.end()), text.end());
}

// Removes every occurrence of c except one standing at the first byte.
void removeAllButFirst(std::string& text, char c)
{
    if (text.size() > 1)
        text.erase(std::remove(text.begin() + 1, text.end(), c), text.end());
}

std::string join(const std::vector<std::string>& words)
{
    std::string result;
    for (const auto& word : words)
        result += word;
    return result;
}

} // namespace

// The two callbacks bound to one width. Offsets from charPos are kept within
// the text and on the start of a character whatever the callback answers, so
// a wrong answer can shorten a result but never make a strategy read outside
// its text or cut a character in two.
class StringCropper::Measure
{
public:
    Measure(const WidthFunction& widthOf, const CharPosFunction& charPos, int width)
        : m_widthOf(widthOf), m_charPos(charPos), m_width(width)
    {
    }

    int limit() const noexcept { return m_width; }
    int width(const std::string& text) const { return m_widthOf(text.c_str()); }
    bool fits(const std::string& text) const { return width(text) <= m_width; }

    std::size_t charPos(const std::string& text, int x) const
    {
        const int answer = m_charPos(text.c_str(), x);
        std::size_t pos = answer <= 0 ? 0 : std::min(static_cast<std::size_t>(answer), text.size());
        // A cut inside a character would leave broken UTF-8 behind it.
        while (pos > 0 && pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
            --pos;
        return pos;
    }

private:
    const WidthFunction& m_widthOf;
    const CharPosFunction& m_charPos;
    int m_width;
};

std::string StringCropper::cropString(const CharSequence<char>& text, int width, const WidthFunction& widthOf,
                                      const CharPosFunction& charPos) const
{
    switch (m_eMode) {
    case kAppend:
        return cropStringAppend(text, widthOf, charPos, width);
    case kPrepend:
        return cropStringPrepend(text, widthOf, charPos, width);
    case kFileName:
    case kFileNameAliases:
    case kFileNameNoTrailingSeparator:
    case kFileNameAliasesNoTrailingSeparator:
        return cropStringFileName(text, widthOf, charPos, width);
    case kShrink:
        return cropStringShrink(text, widthOf, charPos, width);
    case kShrink2:
        return cropStringShrink2(text, widthOf, charPos, width);
    case kShrink3:
        return cropStringShrink3(text, widthOf, charPos, width);
    case kMiddle:
        return cropStringMiddle(text, widthOf, charPos, width);
    case kMiddle2:
        return cropStringMiddle2(text, widthOf, charPos, width);
    default:
        return text.data() != nullptr ? std::string(text.data(), text.length()) : std::string();
    }
}

std::string StringCropper::cropStringAppend(const CharSequence<char>& text, const WidthFunction& widthOf,
                                            const CharPosFunction& charPos, int width) const
{
    return append(ownedText(text), Measure(widthOf, charPos, width));
}

std::string StringCropper::append(const std::string& text, const Measure& measure) const
{
    if (measure.fits(text))
        return text;
    const std::string& replacement = m_strReplacement;
    int rw = measure.width(replacement);
    if (rw > measure.limit())
        rw = 0;
    const std::size_t n = measure.charPos(text, measure.limit() - rw);
    if (rw == 0)
        return text.substr(0, n);

    std::size_t kept = n;
    if (kept > 0 && !measure.fits(text.substr(0, kept) + replacement)) {
        // The guess was too long: shorten until it fits, and take that.
        do {
            kept = previousBoundary(text, kept);
            if (kept == 0)
                return replacement;
        } while (!measure.fits(text.substr(0, kept) + replacement));
        return text.substr(0, kept) + replacement;
    }

    // The guess fits: grow it while the next character still fits.
    while (kept < text.size()) {
        const std::size_t next = nextBoundary(text, kept);
        if (!measure.fits(text.substr(0, next) + replacement))
            break;
        kept = next;
    }
    return text.substr(0, kept) + replacement;
}

std::string StringCropper::cropStringPrepend(const CharSequence<char>& text, const WidthFunction& widthOf,
                                             const CharPosFunction& charPos, int width) const
{
    return prepend(ownedText(text), Measure(widthOf, charPos, width));
}

std::string StringCropper::prepend(const std::string& text, const Measure& measure) const
{
    const int textWidth = measure.width(text);
    if (textWidth <= measure.limit())
        return text;
    const int excess = textWidth - measure.limit();
    const std::string& replacement = m_strReplacement;
    int rw = measure.width(replacement);
    if (rw > measure.limit())
        rw = 0;
    std::size_t start = measure.charPos(text, std::max(excess - rw, 0));
    if (rw == 0)
        return text.substr(start);

    while (start < text.size()) {
        std::string candidate = replacement + text.substr(start);
        if (measure.fits(candidate))
            return candidate;
        start = nextBoundary(text, start);
    }
    return replacement;
}

std::string StringCropper::cropStringFileName(const CharSequence<char>& text, const WidthFunction& widthOf,
                                              const CharPosFunction& charPos, int width) const
{
    const Measure measure(widthOf, charPos, width);
    const std::string path = ownedText(text);
    const bool aliases = m_eMode == kFileNameAliases || m_eMode == kFileNameAliasesNoTrailingSeparator;
    const bool noTrailing = m_eMode == kFileNameNoTrailingSeparator || m_eMode == kFileNameAliasesNoTrailingSeparator;

    std::string s;
    if (aliases) {
        initFileNameAliasMap();
        // A folder stands for the path only when it ends on a whole component
        // of it ("Disk:me" is not a folder of "Disk:meadow:x"), and the
        // deepest folder wins, so "Disk:me:Music:x" becomes "[Music]:x"
        // rather than "[me]:Music:x".
        const std::pair<const std::string, std::string>* best = nullptr;
        for (const auto& entry : s_mapSymbolicFolders) {
            const std::string& key = entry.first;
            if (key.empty() || path.compare(0, key.size(), key) != 0)
                continue;
            if (path.size() > key.size() && path[key.size()] != kSeparator)
                continue;
            if (best == nullptr || key.size() > best->first.size())
                best = &entry;
        }
        if (best != nullptr)
            s = best->second + path.substr(best->first.size());
    }
    if (s.empty())
        s = path;
    if (noTrailing && !s.empty() && s.back() == kSeparator)
        s.pop_back();
    if (measure.fits(s))
        return s;
    if (measure.width(m_strReplacement) > measure.limit())
        return prepend(s, measure);

    std::size_t first = s.find(kSeparator);
    std::size_t last = s.rfind(kSeparator);
    if (last != std::string::npos && last + 1 == s.size())
        last = last > 0 ? s.rfind(kSeparator, last - 1) : std::string::npos;
    // Fewer than two separators to keep a head and a tail by: this includes
    // a path whose only separator is its last byte.
    if (first == std::string::npos || last == std::string::npos || first >= last)
        return prepend(s, measure);

    auto candidateFor = [&](std::size_t head, std::size_t tail) {
        return s.substr(0, head + 1) + m_strReplacement + s.substr(tail);
    };
    std::string candidate = candidateFor(first, last);
    int candidateWidth = measure.width(candidate);
    if (candidateWidth > measure.limit())
        return prepend(s, measure);

    // Widen by one component at a time, alternately at the tail and the
    // head, until a candidate comes close enough to the width or no longer
    // fits.
    std::string best;
    for (bool moveTail = true;; moveTail = !moveTail) {
        if (candidateWidth >= measure.limit() - 10)
            return candidate;
        best = candidate;
        if (moveTail)
            last = last > 0 ? s.rfind(kSeparator, last - 1) : std::string::npos;
        else
            first = s.find(kSeparator, first + 1);
        if (first == std::string::npos || last == std::string::npos || first >= last)
            return best;
        candidate = candidateFor(first, last);
        candidateWidth = measure.width(candidate);
        if (candidateWidth > measure.limit())
            return best;
    }
}

void StringCropper::initFileNameAliasMap()
{
    if (s_bSymbolicFoldersInitialized)
        return;
    struct FolderKind
    {
        short domain;
        std::uint32_t type;
    };
    static constexpr FolderKind kFolders[] = {
        {kOnAppropriateDisk, kApplicationsFolderType},    {kLocalDomain, kApplicationSupportFolderType},
        {kOnAppropriateDisk, kSharedUserDataFolderType},  {kOnAppropriateDisk, kCurrentUserFolderType},
        {kUserDomain, kDocumentsFolderType},              {kUserDomain, kMusicDocumentsFolderType},
        {kUserDomain, kPictureDocumentsFolderType},
    };
    for (const FolderKind& kind : kFolders) {
        FileName folder;
        if (FileName::getSystemFolder(kind.domain, kind.type, folder, false))
            addAlias(folder);
    }
    s_bSymbolicFoldersInitialized = true;
}

void StringCropper::addAlias(const FileName& folder)
{
    std::string key = folder.getVolume() + folder.getPath();
    if (!key.empty() && key.back() == kSeparator)
        key.pop_back();
    const std::size_t lastSeparator = key.rfind(kSeparator);
    if (lastSeparator == std::string::npos)
        return;
    std::string alias = "[";
    alias.append(key, lastSeparator + 1);
    alias += ']';
    s_mapSymbolicFolders[key] = std::move(alias);
}

std::string StringCropper::cropStringShrink(const CharSequence<char>& text, const WidthFunction& widthOf,
                                            const CharPosFunction& charPos, int width) const
{
    if (width < 1)
        return {};
    const Measure measure(widthOf, charPos, width);
    std::string s = ownedText(text);
    if (measure.fits(s))
        return s;

    removeIf(s, [](char c) { return c == ' '; });
    if (measure.fits(s))
        return s;
    removeIf(s, [](char c) { return !isAsciiAlnum(c); });
    if (measure.fits(s))
        return s;
    collapseRuns(s);
    if (measure.fits(s))
        return s;

    for (const char* pair : s_DoubleVocals) {
        if (s.empty())
            break;
        for (std::size_t pos = s.find(pair, 1); pos != std::string::npos; pos = s.find(pair, 1))
            s.erase(pos, 2);
        if (measure.fits(s))
            return s;
    }
    for (const char* vowel = s_Vocals; *vowel != '\0'; ++vowel) {
        removeAllButFirst(s, *vowel);
        if (measure.fits(s))
            return s;
    }
    return s.substr(0, measure.charPos(s, width));
}

std::string StringCropper::cropStringShrink2(const CharSequence<char>& text, const WidthFunction& widthOf,
                                             const CharPosFunction& charPos, int width) const
{
    return shrinkByWords(ownedText(text), Measure(widthOf, charPos, std::max(width, 0)));
}

std::string StringCropper::shrinkByWords(std::string text, const Measure& measure) const
{
    if (measure.fits(text))
        return text;

    // Words are what lies between spaces, reduced to ASCII letters and
    // digits; a word with nothing of those left is no word at all.
    std::vector<std::string> words;
    for (std::size_t begin = 0; begin <= text.size();) {
        std::size_t end = text.find(' ', begin);
        if (end == std::string::npos)
            end = text.size();
        std::string word = text.substr(begin, end - begin);
        removeIf(word, [](char c) { return !isAsciiAlnum(c); });
        if (!word.empty()) {
            if (word[0] >= 'a' && word[0] <= 'z')
                word[0] = static_cast<char>(word[0] - 'a' + 'A');
            words.push_back(std::move(word));
        }
        begin = end + 1;
    }
    std::string s = join(words);
    if (measure.fits(s))
        return s;

    for (auto& word : words)
        collapseRuns(word);
    s = join(words);
    if (measure.fits(s))
        return s;

    for (auto& word : words)
        for (const char* vowel = s_Vocals; *vowel != '\0'; ++vowel)
            removeAllButFirst(word, *vowel);
    s = join(words);
    if (measure.fits(s))
        return s;

    for (std::size_t length = 5; length >= 2; --length) {
        for (auto& word : words)
            if (std::none_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
                word.resize(std::min(word.size(), length));
        s = join(words);
        if (measure.fits(s))
            return s;
    }
    return s.substr(0, measure.charPos(s, measure.limit()));
}

std::string StringCropper::cropStringShrink3(const CharSequence<char>& text, const WidthFunction& widthOf,
                                             const CharPosFunction& charPos, int width) const
{
    const Measure measure(widthOf, charPos, std::max(width, 0));
    std::string s = ownedText(text);
    if (measure.fits(s))
        return s;
    for (const auto& [key, value] : m_mapAbbreviations) {
        // An empty key matches everywhere and would never let the search
        // move on.
        if (key.empty())
            continue;
        for (std::size_t pos = StringUtil::findPosOfSubStringNoCase(s, key, 0); pos != std::string::npos;
             pos = StringUtil::findPosOfSubStringNoCase(s, key, pos + value.size())) {
            // Matching ignores case, and a character's other case may have
            // another length in UTF-8: replace what matched, not the key's
            // own length.
            const std::size_t matched = StringUtil::countMatchingCharacters(s, key, pos, false);
            s.replace(pos, matched, value);
            if (measure.fits(s))
                return s;
        }
    }
    return shrinkByWords(std::move(s), measure);
}

std::string StringCropper::cropStringMiddle(const CharSequence<char>& text, const WidthFunction& widthOf,
                                            const CharPosFunction& charPos, int width) const
{
    const Measure measure(widthOf, charPos, width);
    const std::string t = ownedText(text);
    const int textWidth = measure.width(t);
    if (textWidth <= width)
        return t;
    const int rw = measure.width(m_strReplacement);
    if (rw > width)
        return append(t, measure);

    const std::string left = t.substr(0, measure.charPos(t, std::max((width - rw) / 2, 0)));
    std::size_t rightStart = std::max(measure.charPos(t, std::max(textWidth - (rw + width) / 2, 0)), left.size());
    std::string head = left + m_strReplacement;
    while (rightStart < t.size()) {
        std::string candidate = head + t.substr(rightStart);
        if (measure.fits(candidate))
            return candidate;
        rightStart = nextBoundary(t, rightStart);
    }
    return head;
}

std::string StringCropper::cropStringMiddle2(const CharSequence<char>& text, const WidthFunction& widthOf,
                                             const CharPosFunction& charPos, int width) const
{
    const Measure measure(widthOf, charPos, std::max(width, 0));
    const std::string t = ownedText(text);
    const int textWidth = measure.width(t);
    if (textWidth <= measure.limit())
        return t;

    const std::vector<std::size_t> bounds = boundaries(t);
    const std::size_t n = bounds.size() - 1;
    const int half = measure.limit() / 2;
    const std::size_t a = measure.charPos(t, width <= 1 ? 1 : half);
    const std::size_t b = measure.charPos(t, textWidth > half ? textWidth - half : 1);
    const std::size_t m = std::min(std::max<std::size_t>(n - charactersBefore(bounds, b), 4), n);
    std::size_t left = std::min(charactersBefore(bounds, a), n - m);
    std::size_t right = n - left;

    const std::vector<std::size_t> replacementBounds = boundaries(m_strReplacement);
    std::size_t r = replacementBounds.size() - 1;

    auto leftPart = [&] { return t.substr(0, bounds[left]); };
    auto rightPart = [&] { return t.substr(bounds[n - right]); };
    auto middlePart = [&] { return m_strReplacement.substr(0, replacementBounds[r]); };

    // Take away one character at a time: from the replacement while little
    // text is left, else from the longer side, keeping four characters on
    // the right as long as the left has any.
    while (!measure.fits(leftPart() + middlePart() + rightPart()) && left + r + right > 0) {
        const std::size_t sides = left + right;
        if ((r >= 3 && sides < 8) || (r >= 2 && sides < 4) || (r >= 1 && sides <= 2))
            --r;
        else if (left >= right || (right <= 4 && left >= 1))
            --left;
        else
            --right;
    }

    std::string head = leftPart();
    while (!head.empty() && head.back() == ' ')
        head.pop_back();
    std::string tail = rightPart();
    const std::size_t firstKept = tail.find_first_not_of(' ');
    tail.erase(0, firstKept == std::string::npos ? tail.size() : firstKept);
    return head + middlePart() + tail;
}

} // namespace QV::GP
