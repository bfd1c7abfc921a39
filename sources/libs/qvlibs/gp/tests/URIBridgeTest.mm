#include <QV/GP/URI.h>

#import <Foundation/NSAutoreleasePool.h>
#import <Foundation/NSString.h>
#import <Foundation/NSURL.h>

#include <gtest/gtest.h>

#include <string>

using QV::GP::URI;

namespace {

// Foundation only: none of this needs a display. The file-name header is
// left out: Boost's headers use "id" as a name, which Objective-C reserves.
CFURLRef asCFURL(NSURL* url)
{
    return (CFURLRef)(const void*)url;
}

} // namespace

TEST(URIBridge, PlatformURLsGiveTheirTextAndFileNames)
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const CFURLRef file = asCFURL([NSURL fileURLWithPath:@"/tmp/a b.xml"]);
    const URI uri(file);
    EXPECT_EQ(uri.get(), "file:///tmp/a%20b.xml");
    std::string path;
    ASSERT_TRUE(uri.getFileNameString(path));
    // Whichever volume holds /tmp, the colon form ends the same way.
    const std::string tail = "tmp:a b.xml";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);

    // Web addresses keep their text and have no file name.
    const URI web(asCFURL([NSURL URLWithString:@"http://example.org/x?y=1"]));
    EXPECT_EQ(web.get(), "http://example.org/x?y=1");
    EXPECT_FALSE(web.getFileNameString(path));

    const CFURLRef none = nullptr;
    EXPECT_TRUE(URI(none).isNull());
    [pool drain];
}
