#include <QV/GP/CFString.h>
#include <QV/GP/NSStringRef.h>
#include <QV/GP/StringCF.h>

#import <Foundation/NSAutoreleasePool.h>

#include <gtest/gtest.h>

#include <string>

using QV::GP::CFString;
using QV::GP::NSStringRef;
using QV::GP::StringCF;
using QV::GP::str2NSString;

namespace {

// Foundation only: none of this needs a display.
class PlatformString : public testing::Test
{
protected:
    void SetUp() override { m_pool = [[NSAutoreleasePool alloc] init]; }
    void TearDown() override { [m_pool drain]; }

private:
    NSAutoreleasePool* m_pool = nil;
};

NSString* asNSString(CFStringRef string)
{
    return (NSString*)(const void*)string;
}

} // namespace

TEST_F(PlatformString, UTF8RoundTripsThroughThePlatformString)
{
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const CFString string(text, true);
    EXPECT_EQ([asNSString(string) length], 5u);
    EXPECT_EQ(StringCF(string), text);
    EXPECT_STREQ([asNSString(string) UTF8String], text.c_str());
}

TEST_F(PlatformString, MalformedUTF8IsFilteredAndViewsAreReadByLength)
{
    const CFString broken(std::string("A\xC3(B"), false);
    EXPECT_EQ(StringCF(broken), "A(B");

    // The view ends before "def"; the bytes behind it are not text.
    const char buffer[] = "abcdef";
    const CFString view(QV::GP::CharSequence<char>(buffer, 3));
    EXPECT_EQ(StringCF(view), "abc");
}

TEST_F(PlatformString, NullEmptyAndLargeStringsConvert)
{
    EXPECT_EQ(StringCF(nullptr), "");
    const CFString empty(std::string(""));
    EXPECT_EQ(StringCF(empty), "");

    std::string large;
    for (int i = 0; i < 70000; ++i)
        large += (i % 7 == 0) ? "\xF0\x9F\x98\x80" : "x";
    EXPECT_EQ(StringCF(CFString(large)), large);
}

TEST_F(PlatformString, Str2NSStringAnswersNullAndEmptyAsAsked)
{
    EXPECT_EQ(str2NSString(nullptr, false), nil);
    EXPECT_EQ(str2NSString(std::string(), false), nil);

    for (NSString* empty : {str2NSString("", true), str2NSString(nullptr, true)}) {
        ASSERT_NE(empty, nil);
        EXPECT_EQ([empty length], 0u);
        [empty release];
    }
    NSString* text = str2NSString(std::string("\xC3\xA9t\xC3\xA9"), false);
    EXPECT_TRUE([text isEqualToString:[NSString stringWithUTF8String:"\xC3\xA9t\xC3\xA9"]]);
    [text release];
}

TEST_F(PlatformString, NSStringRefOwnsExactlyOneRetain)
{
    NSString* outside = [[NSString alloc] initWithUTF8String:"held elsewhere"];
    const NSUInteger before = [outside retainCount];
    {
        NSStringRef ref;
        EXPECT_EQ(ref.get(), nil);
        ref.createWith("first", false);
        EXPECT_TRUE([ref.get() isEqualToString:@"first"]);
        ref.createWith(std::string(), false);
        EXPECT_EQ(ref.get(), nil);

        ref.assign(outside, true);
        EXPECT_EQ([outside retainCount], before + 1);
        // Assigning the string already held neither retains nor releases.
        ref.assign(outside, true);
        ref.assign(outside, false);
        EXPECT_EQ([outside retainCount], before + 1);
    }
    EXPECT_EQ([outside retainCount], before);

    {
        NSStringRef ref;
        // Without retain the caller's own retain passes into the owner.
        ref.assign([outside retain], false);
        EXPECT_EQ([outside retainCount], before + 1);
        ref.assign(nil, false);
        EXPECT_EQ([outside retainCount], before);
    }
    [outside release];
}
