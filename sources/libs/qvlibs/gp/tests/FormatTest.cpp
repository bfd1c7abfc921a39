#include <QV/GP/Format.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

using QV::GP::DETAIL::BasicFormat;
using QV::GP::DETAIL::FormatApply;

// --- Placeholders ----------------------------------------------------------

TEST(MessageTemplate, PositionalPlaceholdersMayRepeat)
{
    EXPECT_EQ((FormatApply<char>::apply<std::string, std::string>(boost::format("%1% %2%"), "a", "b")), "a b");
    EXPECT_EQ((BasicFormat<char, std::string>("%1% and %1% again", "kbd")), "kbd and kbd again");
    EXPECT_EQ((FormatApply<char>::apply<std::string, int, std::string>(
                  boost::format("%1% failed (%2%); reconnect the %1% and restart %3%."), "Keyboard", -2, "App")),
              "Keyboard failed (-2); reconnect the Keyboard and restart App.");
}

TEST(MessageTemplate, PrintfDirectivesTakeArgumentsInOrderWithoutConverting)
{
    EXPECT_EQ((FormatApply<char>::apply<int, unsigned int>(boost::format("%d / %d"), 3, 7u)), "3 / 7");
    EXPECT_EQ((BasicFormat<char, unsigned int>("S%u", 12u)), "S12");
    EXPECT_EQ((BasicFormat<char, std::string>("%d", "text")), "text");
    EXPECT_EQ((BasicFormat<char, int>("100%% of %d", 5)), "100% of 5");
}

// --- Integers are numbers --------------------------------------------------

TEST(MessageTemplate, IntegersOfEveryWidthPrintAsDecimalNumbers)
{
    EXPECT_EQ((BasicFormat<char, unsigned short>("%d", 65)), "65");
    EXPECT_EQ((FormatApply<char>::apply<unsigned short, unsigned int>(boost::format("%d / %d"), 69, 70u)), "69 / 70");
    EXPECT_EQ((BasicFormat<char, std::uint8_t>("%d", 65)), "65");
    EXPECT_EQ((BasicFormat<char, std::uint8_t>("%1%", 7)), "7");
    EXPECT_EQ((BasicFormat<char, std::int8_t>("%d", -5)), "-5");
    EXPECT_EQ((FormatApply<char>::apply<std::uint8_t, std::int8_t>(boost::format("%1%/%2%"), 255, -128)), "255/-128");
    EXPECT_EQ((BasicFormat<char, std::uint64_t>("%d", std::numeric_limits<std::uint64_t>::max())),
              "18446744073709551615");
    EXPECT_EQ((BasicFormat<char, int>("%d", std::numeric_limits<int>::min())), "-2147483648");
}

TEST(MessageTemplate, PlainCharStaysACharacter)
{
    EXPECT_EQ((BasicFormat<char, char>("[%1%]", 'A')), "[A]");
}

// --- Text passes through as bytes -------------------------------------------

TEST(MessageTemplate, UTF8InTemplateAndArgumentsPassesThrough)
{
    const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ((BasicFormat<char, std::string>("Gr\xC3\xB6\xC3\x9F" "e: %1%", name)), "Gr\xC3\xB6\xC3\x9F" "e: " + name);
}

TEST(MessageTemplate, CallersTemplateIsLeftUntouched)
{
    const boost::format shared("%1%-%2%");
    EXPECT_EQ((FormatApply<char>::apply<int, int>(shared, 1, 2)), "1-2");
    EXPECT_EQ((FormatApply<char>::apply<int, int>(shared, 3, 4)), "3-4");
    EXPECT_EQ(boost::format(shared).remaining_args(), 2);
}

// --- Mismatches raise as Boost.Format raises --------------------------------

TEST(MessageTemplate, MismatchedTemplatesRaise)
{
    EXPECT_THROW((BasicFormat<char, int>("no placeholder", 1)), boost::io::too_many_args);
    EXPECT_THROW((FormatApply<char>::apply<int, int>(boost::format("%1%"), 1, 2)), boost::io::too_many_args);
    EXPECT_THROW((BasicFormat<char, int>("%1% %2%", 1)), boost::io::too_few_args);
    EXPECT_THROW((FormatApply<char>::apply<int, int>(boost::format("%d %d %d"), 1, 2)), boost::io::too_few_args);
    EXPECT_THROW((BasicFormat<char, int>("50%", 1)), boost::io::bad_format_string);
}
