#include <QV/GP/StringUtil.h>
#include <QV/GP/TextCompare.h>
#include <QV/GP/UTF8CodePointReader.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

using QV::GP::StringUtil;
using QV::GP::UTF8CodePointReader;
using QV::GP::wstrcmpc;
using QV::GP::DETAIL::toUpperCodePoint;

namespace {

constexpr auto npos = std::string::npos;

// Runs f and checks that it raises the strict iteration's error.
template <typename F>
void expectInvalidUTF8(F f)
{
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence encountered while trying to encode UTF-32 character");
    }
}

// A heap copy of exactly the given bytes, so that AddressSanitizer catches
// any read behind them.
std::unique_ptr<char[]> exactCopy(const std::string& bytes)
{
    auto copy = std::make_unique<char[]>(bytes.size());
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return copy;
}

} // namespace

// --- Strict code-point iteration -------------------------------------------

TEST(UTF8CodePointReader, ReadsEachLengthAndStopsOnBoundaries)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    UTF8CodePointReader reader(text);
    EXPECT_EQ(reader.next(), U'a');
    EXPECT_EQ(reader.position() - text.data(), 1);
    EXPECT_EQ(reader.next(), U'\u00E9');
    EXPECT_EQ(reader.next(), U'\u20AC');
    EXPECT_EQ(reader.next(), U'\U0001F600');
    EXPECT_TRUE(reader.atEnd());
}

TEST(UTF8CodePointReader, RaisesOnMalformedInputWithoutReadingPastTheView)
{
    for (const std::string bad : {"\x80", "\xC3(", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xF8\x88\x80\x80\x80", "\xFF"}) {
        SCOPED_TRACE(testing::PrintToString(bad));
        expectInvalidUTF8([&] { UTF8CodePointReader(bad).next(); });
    }
    // A sequence cut by the end of the view is malformed even when the
    // bytes behind the view would complete it.
    for (const std::string cut : {"\xC3", "\xE2\x82", "\xF0\x9F\x98"}) {
        const auto bytes = exactCopy(cut);
        expectInvalidUTF8([&] { UTF8CodePointReader(bytes.get(), bytes.get() + cut.size()).next(); });
    }
    const std::string whole = "\xC3\xA9";
    expectInvalidUTF8([&] { UTF8CodePointReader(whole.data(), whole.data() + 1).next(); });
}

// Both policies share one notion of well-formed text: the strict reader
// gets through exactly the texts that filtering leaves unchanged.
TEST(UTF8CodePointReader, AcceptsExactlyWhatFilteringKeeps)
{
    std::mt19937 random(99);
    const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                         0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::string text(std::uniform_int_distribution<std::size_t>(1, 6)(random), '\0');
        for (char& c : text)
            c = static_cast<char>(
                interesting[std::uniform_int_distribution<std::size_t>(0, sizeof interesting - 1)(random)]);
        bool readable = true;
        try {
            for (UTF8CodePointReader reader(text); !reader.atEnd();)
                reader.next();
        } catch (const std::out_of_range&) {
            readable = false;
        }
        ASSERT_EQ(readable, StringUtil::fromUTF_filter<char>(text) == text) << testing::PrintToString(text);
    }
}

// --- Case mapping ---------------------------------------------------------

TEST(ToUpperCodePoint, MapsBeyondASCIIOneToOne)
{
    EXPECT_EQ(toUpperCodePoint(U'a'), U'A');
    EXPECT_EQ(toUpperCodePoint(U'Z'), U'Z');
    EXPECT_EQ(toUpperCodePoint(U'\u00E9'), U'\u00C9');
    EXPECT_EQ(toUpperCodePoint(U'\u03B1'), U'\u0391');
    EXPECT_EQ(toUpperCodePoint(U'\u0436'), U'\u0416');
    EXPECT_EQ(toUpperCodePoint(U'\U00010428'), U'\U00010400');
    // No multi-character mappings: sharp s stays.
    EXPECT_EQ(toUpperCodePoint(U'\u00DF'), U'\u00DF');
    EXPECT_EQ(toUpperCodePoint(U'1'), U'1');
}

// --- Search and prefix matching -------------------------------------------

TEST(FindPosOfSubStringNoCase, FindsByCodePointFromStart)
{
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("Hello World", "WORLD", 0), 6u);
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("Hello World", "WORLD", 7), npos);
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("Hello World", "", 3), 3u);
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("Hello World", "", 11), npos);
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("Hello World", "d", 99), npos);
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("Hello World", "worlds", 0), npos);
    // Byte positions behind multi-byte characters, case folded beyond ASCII.
    EXPECT_EQ(StringUtil::findPosOfSubStringNoCase("\xC3\xA9t\xC3\xA9 \xC3\x89T\xC3\x89", "\xC3\x89t\xC3\xA9", 2), 6u);
}

TEST(FindPosOfSubStringNoCase, RaisesOnMalformedTextOrPattern)
{
    expectInvalidUTF8([] { StringUtil::findPosOfSubStringNoCase("ab\xC3", "x", 0); });
    expectInvalidUTF8([] { StringUtil::findPosOfSubStringNoCase("abc", "\xFF", 0); });
    // A start inside a character is not a code-point boundary.
    expectInvalidUTF8([] { StringUtil::findPosOfSubStringNoCase("\xC3\xA9x", "x", 1); });
}

TEST(CountMatchingCharacters, CountsBytesOfTheMatchingPrefix)
{
    EXPECT_EQ(StringUtil::countMatchingCharacters("Volumes", "VOL", 0, false), 3u);
    EXPECT_EQ(StringUtil::countMatchingCharacters("Volumes", "VOL", 0, true), 1u);
    EXPECT_EQ(StringUtil::countMatchingCharacters("Volumes", "umbrella", 3, true), 2u);
    EXPECT_EQ(StringUtil::countMatchingCharacters("Volumes", "", 0, true), 0u);
    EXPECT_EQ(StringUtil::countMatchingCharacters("Volumes", "V", 7, true), 0u);
    EXPECT_EQ(StringUtil::countMatchingCharacters("Vol", "Volumes", 0, true), 3u);
    EXPECT_EQ(StringUtil::countMatchingCharacters("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x80", 0, false), 3u);
}

TEST(Wstrcmpc, OrdersByCodePoint)
{
    EXPECT_EQ(wstrcmpc<char>("abc", "ABD", false), -1);
    EXPECT_EQ(wstrcmpc<char>("abc", "ABC", false), 0);
    EXPECT_EQ(wstrcmpc<char>("abc", "ABC", true), 1);
    EXPECT_EQ(wstrcmpc<char>("", "", true), 0);
    EXPECT_EQ(wstrcmpc<char>("a", "", true), 1);
    EXPECT_EQ(wstrcmpc<char>("", "a", true), -1);
    EXPECT_EQ(wstrcmpc<char>("ab", "abc", true), -1);
    EXPECT_EQ(wstrcmpc<char>(nullptr, "", true), 0);
    // By code point: U+FFFF sorts below U+10000, which UTF-16 units would
    // sort the other way round.
    EXPECT_EQ(wstrcmpc<char>("\xEF\xBF\xBF", "\xF0\x90\x80\x80", true), -1);
    EXPECT_EQ(wstrcmpc<char>("\xC3\xA9", "\xC3\x89", false), 0);
    expectInvalidUTF8([] { wstrcmpc<char>("a\xC3", "a\xC3", true); });
}

// --- ASCII and editing ----------------------------------------------------

TEST(ASCIIHelpers, KeepOnlyASCIIWithoutNul)
{
    std::string text;
    for (const char c : {'a', '\0', '\x7F', '\x80', '\xE9', 'z'})
        StringUtil::appendCharASCII(text, c);
    EXPECT_EQ(text, "a\x7Fz");

    EXPECT_EQ(StringUtil::toAscii("caf\xC3\xA9"), "");
    EXPECT_EQ(StringUtil::toAscii("cafe"), "cafe");
    EXPECT_EQ(StringUtil::toAscii(std::string("a\0b", 3)), "");
    EXPECT_EQ(StringUtil::toAscii(""), "");
}

TEST(ASCIIHelpers, RemoveFirstClampsToTheLength)
{
    std::string text = "abcdef";
    StringUtil::removeFirst(text, 2);
    EXPECT_EQ(text, "cdef");
    StringUtil::removeFirst(text, 0);
    EXPECT_EQ(text, "cdef");
    StringUtil::removeFirst(text, 99);
    EXPECT_EQ(text, "");
}
