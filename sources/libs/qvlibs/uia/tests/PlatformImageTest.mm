// Pictures as platform images: the blank cursor's fully transparent
// picture stays fully transparent, and colours keep their places in the
// platform's byte order, straight or premultiplied; cursors made of them are
// owned by their registration and let go with it. The view's drag record
// holds the last mouse event until the next one replaces it.
#include <QV/UIA/CursorManager.h>
#include <QV/UIA/Picture.h>

#include "Cocoa/GNUstepHeaders.h"
#include "Cocoa/PlatformImage.h"
#include "Cocoa/View.h"

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

TEST(PlatformImageTest, CustomCursorsGoWithTheirRegistration)
{
    using QV::UIA::CursorManager;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    QV::UIA::Picture picture;
    ASSERT_TRUE(picture.setSize(8, 8, true));
    std::fill(picture.getPixels(), picture.getPixels() + 64, 0xff000000u);
    NSImage* image = static_cast<NSImage*>(QV::UIA::DETAIL::createNSImageFromPicture(picture, false));
    NSCursor* cursor = [[NSCursor alloc] initWithImage:image hotSpot:NSMakePoint(1, 1)];
    [image release];
    [cursor retain]; // the test's own reference

    const int before = CursorManager::getCustomCursorCount();
    EXPECT_FALSE(CursorManager::registerCustomCursor(cursor)) << "no registration is open";
    const CursorManager::RegistrationHandle handle = CursorManager::beginRegistration();
    EXPECT_TRUE(CursorManager::registerCustomCursor(cursor));
    CursorManager::endRegistration();
    EXPECT_EQ(CursorManager::getCustomCursorCount(), before + 1);

    CursorManager::unregister(handle);
    EXPECT_EQ(CursorManager::getCustomCursorCount(), before);
    EXPECT_EQ([cursor retainCount], 1u) << "the registration's reference was let go";
    [cursor release];
    [pool release];
}

NSEvent* mouseEvent(NSEventType type, NSPoint at)
{
    return [NSEvent mouseEventWithType:type
                              location:at
                         modifierFlags:0
                             timestamp:0
                          windowNumber:0
                               context:nil
                           eventNumber:0
                            clickCount:1
                              pressure:1];
}

TEST(ViewTest, TheDragRecordHoldsTheLastMouseEvent)
{
    using QV::UIA::COCOA::View;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    NSView* view = static_cast<NSView*>(View::createWithImplAndSize(nullptr, 50, 40));
    ASSERT_NE(view, nil);
    NSEvent* first = [mouseEvent(NSLeftMouseDown, NSMakePoint(5.7, 8.2)) retain];
    NSEvent* second = [mouseEvent(NSMouseMoved, NSMakePoint(1, 2)) retain];
    [pool release];
    pool = [NSAutoreleasePool new];

    const NSUInteger firstCount = [first retainCount];
    [view mouseDown:first];
    View::DragViewData* record = nullptr;
    ASSERT_TRUE(View::getDragViewData(record));
    EXPECT_EQ(record->view, view);
    EXPECT_EQ(record->event, first);
    EXPECT_EQ([first retainCount], firstCount + 1) << "the record keeps the event";

    [view mouseMoved:second];
    EXPECT_EQ(record->event, second);
    EXPECT_EQ([first retainCount], firstCount) << "the replaced event is let go";

    // The view keeps itself alive while its events are handled.
    [view release];
    [pool release];
    EXPECT_EQ(record->event, nullptr) << "a view that goes takes its record along";
    [first release];
    [second release];
}

} // namespace
