#include <QV/GP/LexicalCast.h>

#include <gtest/gtest.h>

#include <string>

using QV::GP::DETAIL::LexicalCastHelper;

namespace {

constexpr unsigned long npos = std::string::npos;

struct ParseCase
{
    std::string text;
    unsigned long start;
    bool hex;
    bool ok;
    unsigned int value;
    unsigned long end;
};

class UnsignedParsing : public testing::TestWithParam<ParseCase>
{
};

} // namespace

TEST_P(UnsignedParsing, GivesValueSuccessAndEnd)
{
    const ParseCase& c = GetParam();
    unsigned int value = 12345;
    bool ok = !c.ok;
    unsigned long end = 777;
    LexicalCastHelper<unsigned int>(c.text, value, &ok, end, c.start, c.hex);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    LexicalCast, UnsignedParsing,
    testing::Values(ParseCase{"ff", 0, true, true, 255, 2}, ParseCase{"12 x", 0, false, true, 12, 2},
                    ParseCase{"x", 0, false, false, 0, npos}, ParseCase{"  42", 0, false, true, 42, 4},
                    ParseCase{"id=17;", 3, false, true, 17, 5},
                    ParseCase{"4294967295", 0, false, true, 4294967295u, 10},
                    // Out of range, signed, not ASCII, or nothing to read.
                    ParseCase{"4294967296", 0, false, false, 0, npos}, ParseCase{"-1", 0, false, false, 0, npos},
                    ParseCase{" -1", 0, false, false, 0, npos}, ParseCase{"+1", 0, false, false, 0, npos},
                    ParseCase{"12\xC3\xA9", 0, false, false, 0, npos}, ParseCase{"", 0, false, false, 0, npos},
                    ParseCase{"12", 2, false, false, 0, npos}, ParseCase{"12", 9, false, false, 0, npos},
                    ParseCase{"   ", 0, false, false, 0, npos}));

TEST(LexicalCast, OkMayBeOmitted)
{
    unsigned int value = 1;
    unsigned long end = 0;
    LexicalCastHelper<unsigned int>("7", value, nullptr, end, 0, false);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(end, 1u);
}
