// Pictures as platform images: the blank cursor's fully transparent
// picture stays fully transparent, and colours keep their places in the
// platform's byte order, straight or premultiplied.
#include <QV/UIA/Picture.h>

#include "Cocoa/GNUstepHeaders.h"
#include "Cocoa/PlatformImage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<unsigned char> bytesOf(NSImage* image)
{
    NSBitmapImageRep* bitmap = [[image representations] objectAtIndex:0];
    const unsigned char* data = [bitmap bitmapData];
    return {data, data + [bitmap bytesPerRow] * [bitmap pixelsHigh]};
}

TEST(PlatformImageTest, TransparentPictureGivesTransparentImage)
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    QV::UIA::Picture picture;
    ASSERT_TRUE(picture.setSize(16, 16, true));
    std::fill(picture.getPixels(), picture.getPixels() + 16 * 16, 0x00ffffffu);
    NSImage* image = static_cast<NSImage*>(QV::UIA::DETAIL::createNSImageFromPicture(picture, true));
    ASSERT_NE(image, nil);
    EXPECT_EQ([image size].width, 16);
    EXPECT_EQ([image size].height, 16);
    const std::vector<unsigned char> bytes = bytesOf(image);
    ASSERT_EQ(bytes.size(), 16u * 16u * 4u);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i << ": premultiplied transparent white is all zero";
    [image release];

    QV::UIA::Picture empty;
    EXPECT_EQ(QV::UIA::DETAIL::createNSImageFromPicture(empty, false), nullptr);
    [pool release];
}

TEST(PlatformImageTest, ColoursInPlatformOrder)
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    QV::UIA::Picture picture;
    ASSERT_TRUE(picture.setSize(2, 1, true));
    picture.getPixels()[0] = 0xff102030;
    picture.getPixels()[1] = 0x80ff8000;
    NSImage* straight = static_cast<NSImage*>(QV::UIA::DETAIL::createNSImageFromPicture(picture, false));
    NSImage* premultiplied = static_cast<NSImage*>(QV::UIA::DETAIL::createNSImageFromPicture(picture, true));
    ASSERT_NE(straight, nil);
    ASSERT_NE(premultiplied, nil);
    EXPECT_EQ(bytesOf(straight), (std::vector<unsigned char>{0x10, 0x20, 0x30, 0xff, 0xff, 0x80, 0x00, 0x80}));
    EXPECT_EQ(bytesOf(premultiplied), (std::vector<unsigned char>{0x10, 0x20, 0x30, 0xff, 0x80, 0x40, 0x00, 0x80}));
    [straight release];
    [premultiplied release];
    [pool release];
}

} // namespace
