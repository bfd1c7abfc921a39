#include <QV/GP/StringUtil.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using QV::GP::CharSequence;
using QV::GP::StringUtil;
using QV::GP::details::utf_to_utf;
using QV::GP::details::utf_to_utf_chseqref;

namespace {

std::u16string toUTF16(const std::string& utf8)
{
    return utf_to_utf<char16_t, char, true>::apply(utf8);
}

std::string toUTF8(const std::u16string& utf16)
{
    return StringUtil::fromUTF<char16_t>(utf16.data(), utf16.size());
}

// glibc's iconv serves as an independent encoder, so that the round trips
// are checked against a second implementation rather than against
// themselves.
std::string iconvFromUTF32(const std::u32string& text, const char* toCode)
{
    const char* fromCode = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
    iconv_t cd = iconv_open(toCode, fromCode);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open failed");
    std::string out(text.size() * 4, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    size_t inLeft = text.size() * sizeof(char32_t);
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}

std::u16string iconvToUTF16(const std::u32string& text)
{
    const std::string bytes =
        iconvFromUTF32(text, std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE");
    return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
}

std::u32string iconvToUTF32(const std::string& utf8)
{
    const char* toCode = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
    iconv_t cd = iconv_open(toCode, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open failed");
    std::u32string out(utf8.size(), U'\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outPtr = reinterpret_cast<char*>(out.data());
    size_t outLeft = out.size() * sizeof(char32_t);
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft / sizeof(char32_t));
    return out;
}

char32_t randomScalarValue(std::mt19937& random)
{
    // Each encoded length is equally likely, so that long sequences are
    // not drowned by the many four-byte values.
    static const char32_t ranges[][2] = {
        {0x20, 0x7E}, {0x80, 0x7FF}, {0x800, 0xD7FF}, {0xE000, 0xFFFF}, {0x10000, 0x10FFFF}};
    const auto& range = ranges[std::uniform_int_distribution<int>(0, 4)(random)];
    return std::uniform_int_distribution<char32_t>(range[0], range[1])(random);
}

std::u32string allScalarValues()
{
    std::u32string text;
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            text.push_back(c);
    return text;
}

} // namespace

// --- Well-formed text ------------------------------------------------------

TEST(UTFConversion, EveryScalarValueRoundTripsAndMatchesAnIndependentEncoder)
{
    const std::u32string all = allScalarValues();
    const std::string utf8 = iconvFromUTF32(all, "UTF-8");
    const std::u16string utf16 = iconvToUTF16(all);

    EXPECT_TRUE(toUTF16(utf8) == utf16);
    EXPECT_TRUE(toUTF8(utf16) == utf8);
    EXPECT_TRUE(StringUtil::fromUTF_filter<char16_t>(utf16) == utf8);
    EXPECT_TRUE(StringUtil::fromUTF_filter<char>(utf8) == utf8);
}

TEST(UTFConversion, EmptyInputAndEmbeddedNulsAreKept)
{
    EXPECT_EQ(StringUtil::fromUTF_filter<char>(""), "");
    EXPECT_TRUE(toUTF16("").empty());
    EXPECT_EQ(StringUtil::fromUTF<char16_t>(nullptr, 0), "");
    EXPECT_EQ(StringUtil::fromUTF<char16_t>(nullptr, 5), "");

    const std::string withNul("a\0b", 3);
    EXPECT_EQ(StringUtil::fromUTF_filter<char>(withNul), withNul);
    EXPECT_TRUE(toUTF16(withNul) == std::u16string(u"a\0b", 3));
}

TEST(UTFConversion, ReadsNoMoreThanTheGivenCount)
{
    const char16_t units[] = {u'a', u'b', 0xD83D, 0xDE00, u'c'};
    EXPECT_EQ(StringUtil::fromUTF<char16_t>(units, 2), "ab");
    // A count that splits a surrogate pair leaves an unpaired high surrogate.
    EXPECT_EQ(StringUtil::fromUTF<char16_t>(units, 3), "ab");
    EXPECT_EQ(StringUtil::fromUTF<char16_t>(units, 4), "ab\xF0\x9F\x98\x80");
}

// --- Malformed UTF-8 ------------------------------------------------------

struct MalformedUTF8Case
{
    const char* name;
    std::string input;
    std::string expected;
};

class MalformedUTF8 : public testing::TestWithParam<MalformedUTF8Case>
{
};

TEST_P(MalformedUTF8, LosesOnlyTheBadBytesInBothConversions)
{
    const MalformedUTF8Case& c = GetParam();
    EXPECT_EQ(StringUtil::fromUTF_filter<char>(c.input), c.expected);
    EXPECT_TRUE(toUTF16(c.input) == iconvToUTF16(iconvToUTF32(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    UTFConversion, MalformedUTF8,
    testing::Values(
        // The byte that shows a sequence to be broken is read afresh.
        MalformedUTF8Case{"BrokenTwoByte", "A\xC3\x28" "B", "A(B"},
        MalformedUTF8Case{"BrokenThreeByteBeforeAGoodOne", "A\xE2\x82\xE2\x82\xAC" "B", "A\xE2\x82\xAC" "B"},
        MalformedUTF8Case{"TruncatedFourByteBeforeASCII", "\xF0\x9F\x98x", "x"},
        MalformedUTF8Case{"TruncatedBeforeATwoByte", "\xE2\x82\xC3\xA9", "\xC3\xA9"},
        MalformedUTF8Case{"LoneContinuationBytes", "A\x80\xBF" "B", "AB"},
        MalformedUTF8Case{"ImpossibleLeadBytes", "A\xF5\xF8\xFE\xFF" "B", "AB"},
        // Forms that decode to something but are not allowed lose all
        // their bytes.
        MalformedUTF8Case{"OverlongTwoByteLead", "A\xC0\xAF\xC1\xBF" "B", "AB"},
        MalformedUTF8Case{"OverlongThreeByte", "A\xE0\x80\xAF" "B", "AB"},
        MalformedUTF8Case{"OverlongFourByte", "A\xF0\x80\x80\xAF" "B", "AB"},
        MalformedUTF8Case{"EncodedSurrogate", "A\xED\xA0\x80\xED\xBF\xBF" "B", "AB"},
        MalformedUTF8Case{"BeyondU10FFFF", "A\xF4\x90\x80\x80" "B", "AB"},
        MalformedUTF8Case{"TruncatedTwoByteAtEnd", "AB\xC3", "AB"},
        MalformedUTF8Case{"TruncatedThreeByteAtEnd", "AB\xE2\x82", "AB"},
        MalformedUTF8Case{"TruncatedFourByteAtEnd", "AB\xF0\x9F\x98", "AB"},
        MalformedUTF8Case{"OnlyGarbage", "\xFF\xC3", ""}),
    [](const testing::TestParamInfo<MalformedUTF8Case>& info) { return std::string(info.param.name); });

// Random text built from pieces whose fate is known: whole characters are
// kept, truncated sequences and stray bytes vanish. A stray continuation
// byte never follows a truncated sequence, where it would complete it.
TEST(UTFConversion, RandomMixesOfGoodAndBadUTF8KeepEveryGoodCharacter)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string input;
        std::u32string kept;
        bool afterTruncated = false;
        const int pieces = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < pieces; ++i) {
            const char32_t c = randomScalarValue(random);
            const std::string encoded = iconvFromUTF32(std::u32string(1, c), "UTF-8");
            switch (std::uniform_int_distribution<int>(0, 3)(random)) {
            case 0:
                input += encoded;
                kept.push_back(c);
                afterTruncated = false;
                break;
            case 1:
                if (encoded.size() > 1) {
                    const auto cut = std::uniform_int_distribution<std::size_t>(1, encoded.size() - 1)(random);
                    input += encoded.substr(0, cut);
                    afterTruncated = true;
                }
                break;
            case 2:
                if (!afterTruncated)
                    input.push_back(static_cast<char>(std::uniform_int_distribution<int>(0x80, 0xBF)(random)));
                break;
            default:
                input.push_back("\xC0\xC1\xF5\xF8\xFF"[std::uniform_int_distribution<int>(0, 4)(random)]);
                afterTruncated = false;
                break;
            }
        }
        const std::string expected = iconvFromUTF32(kept, "UTF-8");
        ASSERT_EQ(StringUtil::fromUTF_filter<char>(input), expected) << "round " << round;
        ASSERT_TRUE(toUTF16(input) == iconvToUTF16(kept)) << "round " << round;
    }
}

// --- Malformed UTF-16 -----------------------------------------------------

TEST(UTFConversion, UnpairedSurrogatesAloneAreDropped)
{
    EXPECT_EQ(toUTF8(std::u16string{0xDC00, u'x'}), "x");
    EXPECT_EQ(toUTF8(std::u16string{0xD800, u'x'}), "x");
    EXPECT_EQ(toUTF8(std::u16string{u'a', 0xD800}), "a");
    EXPECT_EQ(toUTF8(std::u16string{0xD800, 0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUTF8(std::u16string{u'a', 0xDE00, 0xD83D, u'b', u'c'}), "abc");
    EXPECT_EQ(StringUtil::fromUTF_filter<char16_t>(std::u16string{0xD800, u'x'}), "x");
}

TEST(UTFConversion, RandomMixesOfGoodAndBadUTF16KeepEveryGoodCharacter)
{
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::u16string input;
        std::u32string kept;
        bool afterHigh = false;
        const int pieces = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < pieces; ++i) {
            const int kind = std::uniform_int_distribution<int>(0, 2)(random);
            if (kind == 0) {
                const char32_t c = randomScalarValue(random);
                input += iconvToUTF16(std::u32string(1, c));
                kept.push_back(c);
                afterHigh = false;
            } else if (kind == 1) {
                input.push_back(static_cast<char16_t>(std::uniform_int_distribution<int>(0xD800, 0xDBFF)(random)));
                afterHigh = true;
            } else if (!afterHigh) {
                // A low surrogate right behind a high one would make a pair.
                input.push_back(static_cast<char16_t>(std::uniform_int_distribution<int>(0xDC00, 0xDFFF)(random)));
            }
        }
        ASSERT_EQ(toUTF8(input), iconvFromUTF32(kept, "UTF-8")) << "round " << round;
    }
}

// --- Owning UTF-16 record --------------------------------------------------

template <typename T>
class UTF16Record : public testing::Test
{
};

using UTF16UnitTypes = testing::Types<char16_t, unsigned short>;
TYPED_TEST_SUITE(UTF16Record, UTF16UnitTypes);

TYPED_TEST(UTF16Record, HoldsFilteredTextAsATerminatedSequence)
{
    const auto record =
        utf_to_utf_chseqref<TypeParam, char, true>::create("A\xC3\x28" "B\xE2\x82\xAC\xF0\x9F\x98\x80");
    const std::vector<TypeParam> expected = {u'A', u'(', u'B', 0x20AC, 0xD83D, 0xDE00};

    ASSERT_EQ(record.length(), expected.size());
    EXPECT_EQ(std::vector<TypeParam>(record.data(), record.data() + record.length()), expected);
    EXPECT_EQ(record.data()[record.length()], TypeParam(0));

    const CharSequence<TypeParam> view = record;
    EXPECT_EQ(view.data(), record.data());
    EXPECT_EQ(view.length(), record.length());
}

TYPED_TEST(UTF16Record, EmptyTextGivesAnEmptyTerminatedSequence)
{
    const auto record = utf_to_utf_chseqref<TypeParam, char, true>::create("");
    EXPECT_EQ(record.length(), 0u);
    ASSERT_NE(record.data(), nullptr);
    EXPECT_EQ(record.data()[0], TypeParam(0));
}

// --- Text from outside, made fit to print ---------------------------------

TEST(PrintableText, EveryControlCharacterIsReplacedAndNothingElse)
{
    const std::string mark = "\xEF\xBF\xBD";
    // A serial number that would clear the terminal's line and print a line
    // of its own.
    EXPECT_EQ(StringUtil::printable("SN1\x1B[2K\rupdate-road: Update complete\n"),
              "SN1" + mark + "[2K" + mark + "update-road: Update complete" + mark);
    // A C1 control (CSI is U+009B) given as a bare byte is not UTF-8 and goes.
    EXPECT_EQ(StringUtil::printable("\x9B" "31m"), "31m");

    // Printable text of every kind stays as it is, including the characters
    // next to the control ranges.
    const std::string kept = " ~\xC2\xA0\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 \xE2\x80\xA8 SIMKBD0001";
    EXPECT_EQ(StringUtil::printable(kept), kept);
    EXPECT_EQ(StringUtil::printable(""), "");

    // Every code point below U+00A0 is either kept or replaced, by range:
    // NUL, DEL and the C1 controls too.
    for (char32_t c = 0; c < 0xA0; ++c) {
        const std::string one = c < 0x80 ? std::string(1, char(c))
                                         : std::string{char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
        const bool control = c < 0x20 || c >= 0x7F;
        EXPECT_EQ(StringUtil::printable(one), control ? mark : one) << "U+" << std::hex << unsigned(c);
    }
}
