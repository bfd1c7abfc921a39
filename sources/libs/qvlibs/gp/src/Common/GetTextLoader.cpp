#include <QV/GP/GetTextLoader.h>

#include <QV/GP/CurrentDSOHandle.h>
#include <QV/GP/IStorage.h>
#include <QV/GP/Stream.h>

#include "Common/GetTextBundle.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace QV::GP {

char GetTextLoader::s_Locale[16] = {};

namespace {

// The magic number of a .mo file as read in the host's byte order: the first
// when the file was written in host order, the second when in the other.
constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;

// Magic, revision, string count and the offsets of the two string tables.
constexpr std::size_t kHeaderSize = 5 * 4;

// Each table entry is a length and an offset of 32 bits each.
constexpr std::uint64_t kEntrySize = 8;

// Catalogues are read whole; a file larger than this is not a catalogue of
// ours and is refused before memory is taken for it.
constexpr std::uint64_t kMaxCatalogueSize = 64u * 1024 * 1024;

const char kNoLocaleMark[] = "\x01";

bool fail(std::string* why, const char* format, std::uint64_t a = 0, std::uint64_t b = 0,
          std::uint64_t c = 0)
{
    if (why) {
        char text[200];
        std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(a),
                      static_cast<unsigned long long>(b), static_cast<unsigned long long>(c));
        *why = text;
    }
    return false;
}

// Reads the 32-bit words of a catalogue whose whole size has been checked
// against every position asked for.
class MoWords
{
public:
    MoWords(const unsigned char* data, bool swap) : m_data(data), m_swap(swap) {}

    std::uint32_t at(std::uint64_t offset) const
    {
        std::uint32_t value;
        std::memcpy(&value, m_data + offset, sizeof value);
        return m_swap ? __builtin_bswap32(value) : value;
    }

private:
    const unsigned char* m_data;
    bool m_swap;
};

// A text of the catalogue up to its first NUL; of a plural entry only the
// first form counts, as gettext() gives it.
std::string_view textAt(const unsigned char* data, std::uint64_t offset, std::uint32_t length)
{
    const char* text = reinterpret_cast<const char*>(data + offset);
    return {text, strnlen(text, length)};
}

// Texts may share their bytes: a catalogue may point many entries at one
// string. Each distinct (offset, length) pair of a source text is looked at
// once, and the bytes scanned and copied over all entries are held to a few
// times the file's size, so that no catalogue costs more than time linear in
// its size, whatever its entries point at.
constexpr std::uint64_t kWorkPerByte = 4;
constexpr std::uint64_t kWorkAllowance = 1024 * 1024;

// The charset that the catalogue's header names ("charset=" in the header
// entry's translation, as msgfmt writes it), or empty when none is named.
std::string charsetOf(std::string_view header)
{
    const std::size_t at = header.find("charset=");
    if (at == std::string_view::npos)
        return {};
    const std::string_view rest = header.substr(at + std::strlen("charset="));
    return std::string(rest.substr(0, rest.find_first_of(" \t\n;")));
}

bool isUtf8Name(const std::string& charset)
{
    std::string upper;
    for (char c : charset)
        if (c != '-' && c != '_')
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // "CHARSET" is the placeholder of a template that was never filled in;
    // gettext then takes the texts as they stand, and so do we.
    return upper.empty() || upper == "UTF8" || upper == "CHARSET";
}

// Converts the translations of a catalogue written in another charset to
// UTF-8, the library's one encoding, as glibc's gettext does on load.
class Utf8Converter
{
public:
    explicit Utf8Converter(const std::string& charset)
        : m_cd(isUtf8Name(charset) ? kNone : ::iconv_open("UTF-8", charset.c_str()))
    {
    }
    ~Utf8Converter()
    {
        if (m_cd != kNone)
            ::iconv_close(m_cd);
    }
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    bool needed(const std::string& charset) const { return !isUtf8Name(charset); }
    bool usable() const { return m_cd != kNone; }

    // False when the text is not valid in the catalogue's charset.
    bool convert(std::string_view text, std::string& out)
    {
        if (m_cd == kNone) {
            out.assign(text);
            return true;
        }
        out.clear();
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char chunk[1024];
        for (;;) {
            char* to = chunk;
            std::size_t toLeft = sizeof chunk;
            const std::size_t done = ::iconv(m_cd, inLeft ? &in : nullptr, &inLeft, &to, &toLeft);
            out.append(chunk, static_cast<std::size_t>(to - chunk));
            if (done != static_cast<std::size_t>(-1)) {
                if (inLeft == 0)
                    return true;
                continue;
            }
            if (errno != E2BIG)
                return false;
        }
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
    iconv_t m_cd;
};

} // namespace

const char* GetTextLoader::getLocaleIdentifier(const char* language)
{
    if (!language || !language[0] || !language[1])
        return "ENG";
    std::string prefix(language, 2);
    for (char& c : prefix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (prefix == "ja" || prefix == "jp")
        return "JPN";
    if (prefix == "fr")
        return "FRA";
    if (prefix == "de")
        return "DEU";
    if (prefix == "it")
        return "ITA";
    if (prefix == "es" || prefix == "sp")
        return "SPA";
    return "ENG";
}

bool GetTextLoader::isLocaleChosen()
{
    return static_cast<unsigned char>(s_Locale[0]) >= 2;
}

void GetTextLoader::initLocale(const char* locale)
{
    std::string code = DETAIL::chooseLocaleCode(getCurrentDSOResourcePath(), locale);
    if (code.empty())
        code = kNoLocaleMark;
    const std::size_t length = std::min(code.size(), sizeof s_Locale - 1);
    std::memcpy(s_Locale, code.data(), length);
    s_Locale[length] = '\0';
}

bool GetTextLoader::loadLocaleDomain(std::map<std::string, std::string>& into, const char* domain,
                                     const char* locale)
{
    return DETAIL::loadLocaleDomainFrom(getCurrentDSOResourcePath(), into, domain, locale);
}

bool GetTextLoader::loadDomain(std::map<std::string, std::string>& into, const void* data,
                               std::size_t size, std::string* why)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (!bytes || size < kHeaderSize)
        return fail(why, "%llu bytes are too few for a catalogue header", size);

    std::uint32_t magic;
    std::memcpy(&magic, bytes, sizeof magic);
    if (magic != kMagic && magic != kMagicSwapped)
        return fail(why, "not a catalogue (magic number 0x%08llx)", magic);
    const MoWords words(bytes, magic == kMagicSwapped);

    const std::uint32_t revision = words.at(4);
    if (revision != 0)
        return fail(why, "unsupported catalogue revision %llu", revision);

    // All arithmetic on positions is done in 64 bits, where no sum of 32-bit
    // values taken from the file can wrap.
    const std::uint64_t count = words.at(8);
    const std::uint64_t sources = words.at(12);
    const std::uint64_t translations = words.at(16);
    if (sources + count * kEntrySize > size)
        return fail(why, "the table of %llu source texts at %llu runs past the end (%llu bytes)",
                    count, sources, size);
    if (translations + count * kEntrySize > size)
        return fail(why, "the table of %llu translations at %llu runs past the end (%llu bytes)",
                    count, translations, size);

    // Every entry's texts must lie inside the file before any is used.
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint32_t sourceLength = words.at(sources + i * kEntrySize);
        const std::uint32_t sourceOffset = words.at(sources + i * kEntrySize + 4);
        if (sourceLength != 0 && std::uint64_t(sourceOffset) + sourceLength > size)
            return fail(why, "source text %llu (%llu bytes at %llu) runs past the end", i,
                        sourceLength, sourceOffset);
        const std::uint32_t translationLength = words.at(translations + i * kEntrySize);
        const std::uint32_t translationOffset = words.at(translations + i * kEntrySize + 4);
        if (std::uint64_t(translationOffset) + translationLength > size)
            return fail(why, "translation %llu (%llu bytes at %llu) runs past the end", i,
                        translationLength, translationOffset);
    }

    // The entry with an empty source text is the catalogue's header; it
    // names the charset of the translations.
    std::string charset;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (words.at(sources + i * kEntrySize) == 0) {
            charset = charsetOf(textAt(bytes, words.at(translations + i * kEntrySize + 4),
                                       words.at(translations + i * kEntrySize)));
            break;
        }
    }
    Utf8Converter converter(charset);
    if (converter.needed(charset) && !converter.usable()) {
        if (why)
            *why = "the catalogue's charset \"" + charset + "\" cannot be converted to UTF-8";
        return false;
    }

    const std::uint64_t workLimit = kWorkPerByte * size + kWorkAllowance;
    std::uint64_t work = 0;
    std::unordered_set<std::uint64_t> sourcesSeen;
    std::map<std::string_view, std::string> read;
    std::string translation;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint32_t sourceLength = words.at(sources + i * kEntrySize);
        if (sourceLength == 0)
            continue;
        const std::uint32_t sourceOffset = words.at(sources + i * kEntrySize + 4);
        // An entry whose source text was met before cannot add anything: the
        // first occurrence wins.
        if (!sourcesSeen.insert(std::uint64_t(sourceOffset) << 32 | sourceLength).second)
            continue;
        const std::uint32_t translationLength = words.at(translations + i * kEntrySize);
        const std::uint32_t translationOffset = words.at(translations + i * kEntrySize + 4);
        work += std::uint64_t(sourceLength) + translationLength;
        if (work > workLimit)
            return fail(why, "the texts of %llu entries in %llu bytes overlap too much to be read", count,
                        size);
        const std::string_view source = textAt(bytes, sourceOffset, sourceLength);
        if (read.count(source) != 0)
            continue;
        // A translation that is not valid in the named charset is left
        // untranslated rather than shown garbled.
        if (!converter.convert(textAt(bytes, translationOffset, translationLength), translation))
            continue;
        read.emplace(source, translation);
    }
    for (auto& [source, text] : read)
        into.try_emplace(std::string(source), std::move(text));
    return true;
}

bool GetTextLoader::loadDomain(std::map<std::string, std::string>& into, Stream& stream, std::string* why)
{
    if (!stream.getStorage())
        return fail(why, "the stream has no storage");
    IStorage& storage = *stream.getStorage();
    if (!storage.seek64(0, IStorage::eSeekFromEnd))
        return fail(why, "the catalogue's size cannot be found");
    const long long size = storage.getPos64();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxCatalogueSize)
        return fail(why, "a catalogue of %llu bytes is not accepted", static_cast<std::uint64_t>(size));
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    // An empty catalogue leaves the storage at its end, where a seek to the
    // start still succeeds; a read of nothing is not attempted.
    if (!storage.seek64(0, IStorage::eSeekFromStart) ||
        (size > 0 && storage.read(bytes.data(), bytes.size()) != bytes.size()))
        return fail(why, "the catalogue cannot be read");
    return loadDomain(into, bytes.data(), bytes.size(), why);
}

} // namespace QV::GP
