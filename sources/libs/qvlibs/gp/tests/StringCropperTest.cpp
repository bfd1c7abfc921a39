#include <QV/GP/FileName.h>
#include <QV/GP/StringCropper.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

using QV::GP::CharSequence;
using QV::GP::FileName;
using QV::GP::StringCropper;

namespace {

// A fixed-width font: every byte is ten pixels wide, and the bytes that fit
// into x pixels are x / 10 of them, never more than the text holds.
int widthOf(const char* text)
{
    return static_cast<int>(std::strlen(text)) * 10;
}

int charPos(const char* text, int x)
{
    return std::clamp(x / 10, 0, static_cast<int>(std::strlen(text)));
}

std::string crop(StringCropper::eMode mode, const std::string& text, int width, const std::string& replacement = "..")
{
    StringCropper cropper;
    cropper.m_eMode = mode;
    cropper.m_strReplacement = replacement;
    return cropper.cropString(text, width, widthOf, charPos);
}

TEST(StringCropperTest, EndsAndMiddleKeepWhatFitsAroundTheReplacement)
{
    EXPECT_EQ(crop(StringCropper::kAppend, "abcdefghij", 55), "abc..");
    EXPECT_EQ(crop(StringCropper::kAppend, "abcdefghij", 55, ""), "abcde");
    EXPECT_EQ(crop(StringCropper::kPrepend, "abcdefghij", 55), "..hij");
    EXPECT_EQ(crop(StringCropper::kMiddle, "abcdefghij", 55), "a..ij");
    EXPECT_EQ(crop(StringCropper::kMiddle2, "abcdefghij", 55), "..hij");

    // A replacement wider than the width is left out.
    EXPECT_EQ(crop(StringCropper::kAppend, "abcdefghij", 15, "..."), "a");
    EXPECT_EQ(crop(StringCropper::kMiddle, "abcdefghij", 15, "..."), "a");
    // Nothing of the text fits beside the replacement.
    EXPECT_EQ(crop(StringCropper::kPrepend, "abcdefghij", 25), "..");
    EXPECT_EQ(crop(StringCropper::kMiddle2, "abcdefghij", 15), "j");

    // Characters are never cut in two: 'é' is two bytes, twenty pixels here.
    EXPECT_EQ(crop(StringCropper::kAppend, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 55), "\xC3\xA9..");
    EXPECT_EQ(crop(StringCropper::kPrepend, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 65), "..\xC3\xA9\xC3\xA9");
    // Spaces beside the replacement are dropped.
    EXPECT_EQ(crop(StringCropper::kMiddle2, "ab de fghij", 85), "ab..ghij");
}

TEST(StringCropperTest, TextThatFitsOrNoModeIsReturnedUnchanged)
{
    for (int mode = 0; mode <= 12; ++mode) {
        if (mode == StringCropper::kShrink2 || mode == StringCropper::kShrink3 || mode == StringCropper::kShrink)
            EXPECT_EQ(crop(static_cast<StringCropper::eMode>(mode), "a b", 30), "a b") << mode;
        else
            EXPECT_EQ(crop(static_cast<StringCropper::eMode>(mode), "Disk:a", 60), "Disk:a") << mode;
    }
    EXPECT_EQ(crop(StringCropper::kNone, "abcdefghij", 5), "abcdefghij");
    EXPECT_EQ(crop(static_cast<StringCropper::eMode>(12), "abcdefghij", 5), "abcdefghij");
    EXPECT_EQ(crop(StringCropper::kFileNameNoTrailingSeparator, "Disk:a:", 100), "Disk:a");
}

TEST(StringCropperTest, ViewIntoALargerBufferIsMeasuredByItsOwnLength)
{
    const char buffer[] = "abcdefghij";
    StringCropper cropper;
    cropper.m_strReplacement = "..";
    for (int mode = 1; mode <= 11; ++mode) {
        cropper.m_eMode = static_cast<StringCropper::eMode>(mode);
        EXPECT_EQ(cropper.cropString(CharSequence<char>(buffer, 5), 55, widthOf, charPos), "abcde") << mode;
    }
    cropper.m_eMode = StringCropper::kAppend;
    EXPECT_EQ(cropper.cropString(CharSequence<char>(buffer, 8), 55, widthOf, charPos), "abc..");
}

TEST(StringCropperTest, MalformedUTF8MetWhileSteppingRaises)
{
    EXPECT_THROW(crop(StringCropper::kAppend, "abc\xC3" "defghij", 55), std::out_of_range);
    EXPECT_THROW(crop(StringCropper::kPrepend, "abcd\xFF" "fghij", 55), std::out_of_range);
    EXPECT_THROW(crop(StringCropper::kMiddle, "abcdef\xFF" "hij", 55), std::out_of_range);
    EXPECT_THROW(crop(StringCropper::kMiddle2, "\xFF" "bcdefghij", 55), std::out_of_range);
    // Bytes the strategy never steps over are passed on as they are.
    EXPECT_EQ(crop(StringCropper::kAppend, "ab\xA9" "cdefghij", 55), "ab\xA9..");

    // A font that guesses too far makes the start shorten, stepping back
    // over characters just as strictly.
    StringCropper cropper;
    cropper.m_eMode = StringCropper::kAppend;
    cropper.m_strReplacement = "..";
    auto greedy = [](const char* text, int) { return static_cast<int>(std::strlen(text)); };
    EXPECT_EQ(cropper.cropString(std::string("abcdefghij"), 55, widthOf, greedy), "abc..");
    EXPECT_EQ(cropper.cropString(std::string("abcdefghij"), 25, widthOf, greedy), "..");
    EXPECT_THROW(cropper.cropString(std::string("ab\xA9" "cd"), 35, widthOf, greedy), std::out_of_range);

    cropper.m_eMode = StringCropper::kAppend;
    EXPECT_THROW(cropper.cropString(std::string("abc"), 10, nullptr, charPos), std::bad_function_call);
}

TEST(StringCropperTest, FileNamesKeepHeadAndTailComponents)
{
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:file", 150), "Disk:..:file");
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:file", 200), "Disk:..:Music:file");
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:file", 230), "Disk:..:Music:file");
    // Widening stops once a candidate comes within ten pixels of the width.
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:file", 125), "Disk:..:file");
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:folder:", 150), "Disk:..:folder:");
    EXPECT_EQ(crop(StringCropper::kFileNameNoTrailingSeparator, "Disk:Users:me:Music:folder:", 140),
              "Disk:..:folder");

    // Fewer than two separators, a candidate that does not fit, or a
    // replacement wider than the width: the end of the path is kept.
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:file", 50), "..ile");
    EXPECT_EQ(crop(StringCropper::kFileName, "Diskfile", 50), "..ile");
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:file", 100), "..sic:file");
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:file", 30, "...."), "ile");
    // A path ending in its only separator has a head but no tail.
    EXPECT_EQ(crop(StringCropper::kFileName, "Diskette:", 50), "..te:");
    EXPECT_EQ(crop(StringCropper::kFileNameAliasesNoTrailingSeparator, "Diskette::", 50), "..te:");
}

TEST(StringCropperTest, FolderAliasesStandForWholeComponentsDeepestFirst)
{
    StringCropper::addAlias(FileName("Disk:Users:me:"));
    StringCropper::addAlias(FileName("Disk:Users:me:Music:"));
    StringCropper::addAlias(FileName("Disk:"));
    EXPECT_EQ(StringCropper::s_mapSymbolicFolders.at("Disk:Users:me"), "[me]");
    EXPECT_EQ(StringCropper::s_mapSymbolicFolders.count("Disk"), 0u) << "a bare volume has no alias";

    EXPECT_EQ(crop(StringCropper::kFileNameAliases, "Disk:Users:me:Music:song", 1000), "[Music]:song");
    EXPECT_EQ(crop(StringCropper::kFileNameAliases, "Disk:Users:me:Movies:clip", 1000), "[me]:Movies:clip");
    EXPECT_EQ(crop(StringCropper::kFileNameAliases, "Disk:Users:meadow:x", 1000), "Disk:Users:meadow:x");
    EXPECT_EQ(crop(StringCropper::kFileNameAliasesNoTrailingSeparator, "Disk:Users:me:", 1000), "[me]");
    EXPECT_EQ(crop(StringCropper::kFileName, "Disk:Users:me:Music:song", 1000), "Disk:Users:me:Music:song");
    EXPECT_EQ(crop(StringCropper::kFileNameAliases, "Disk:Users:me:Music:a:b:song", 150), "[Music]:..:song");
}

TEST(StringCropperTest, ShrinkSqueezesInStagesThenCuts)
{
    EXPECT_EQ(crop(StringCropper::kShrink, "Hello World", 80), "HloWorld");
    EXPECT_EQ(crop(StringCropper::kShrink, "Hello World", 0), "");
    EXPECT_EQ(crop(StringCropper::kShrink, "", 0), "");
    EXPECT_EQ(crop(StringCropper::kShrink, "a-b c!", 30), "abc");
    EXPECT_EQ(crop(StringCropper::kShrink, "queue ei", 40), "queu");
    EXPECT_EQ(crop(StringCropper::kShrink, "Hello World", 30), "HlW");

    EXPECT_EQ(crop(StringCropper::kShrink2, "the quick brown fox", 100), "ThQckBrwFx");
    EXPECT_EQ(crop(StringCropper::kShrink2, "the quick brown fox", 160), "TheQuickBrownFox");
    EXPECT_EQ(crop(StringCropper::kShrink2, "channel 12345678 left", 130), "Ch12345678Lf");
    EXPECT_EQ(crop(StringCropper::kShrink2, "the quick brown fox", -5), "");
    // Words that filtering empties are dropped, not capitalised.
    EXPECT_EQ(crop(StringCropper::kShrink2, "a - b  \xC3\xA9 -- c", 40), "ABC");
    EXPECT_EQ(crop(StringCropper::kShrink2, " - ", 0), "");
}

TEST(StringCropperTest, AbbreviationsComeFirstThenWordShrinking)
{
    StringCropper cropper;
    cropper.m_eMode = StringCropper::kShrink3;
    cropper.m_mapAbbreviations["international"] = "intl";
    EXPECT_EQ(cropper.cropString(std::string("International Business"), 130, widthOf, charPos), "intl Business");
    EXPECT_EQ(cropper.cropString(std::string("International Business"), 120, widthOf, charPos), "IntlBusiness");
    EXPECT_EQ(cropper.cropString(std::string("international international"), 190, widthOf, charPos),
              "intl international");

    // An empty key is skipped rather than matched forever; a value that holds
    // its key is not searched again.
    cropper.m_mapAbbreviations[""] = "x";
    cropper.m_mapAbbreviations["b"] = "bb";
    EXPECT_EQ(cropper.cropString(std::string("bab"), 20, widthOf, charPos), "Bb");

    // The dotless i's upper case is 'I': the match is one byte long although
    // the key is two, and only that byte is replaced.
    StringCropper dotless;
    dotless.m_eMode = StringCropper::kShrink3;
    dotless.m_mapAbbreviations["\xC4\xB1"] = "";
    EXPECT_EQ(dotless.cropString(std::string("IIIII"), 40, widthOf, charPos), "IIII");

    StringCropper none;
    none.m_eMode = StringCropper::kShrink3;
    EXPECT_EQ(none.cropString(std::string("the quick brown fox"), 100, widthOf, charPos), "ThQckBrwFx");
}

} // namespace
