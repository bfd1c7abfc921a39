// The display list from the platform's screen rectangles: flipped against the
// primary screen, and the layout they form.
#include "Common/DisplayLayout.h"

#include <gtest/gtest.h>

#include <limits>

using namespace QV::UIA;
using QV::GP::Rect;
using DETAIL::PlatformRect;
using DETAIL::ScreenGeometry;

namespace {

ScreenGeometry screen(double x, double y, double width, double height, std::optional<double> scale = 1.0)
{
    ScreenGeometry geometry;
    geometry.frame = {x, y, width, height};
    geometry.visibleFrame = {x, y, width, height - 22};
    geometry.scaleFactor = scale;
    return geometry;
}

std::vector<Display> displays(std::initializer_list<Rect> frames)
{
    std::vector<Display> list;
    for (const Rect& frame : frames) {
        Display display;
        display.frame = frame;
        list.push_back(display);
    }
    return list;
}

} // namespace

TEST(DisplayLayoutTest, PlatformRectanglesAreFlippedAgainstThePrimaryScreenAndTruncated)
{
    // A primary screen of 1440 x 900 and a second one above it, to its right.
    const Display primary = DETAIL::toDisplay(screen(0, 0, 1440, 900), 900);
    EXPECT_EQ(primary.frame, (Rect{0, 0, 1440, 900}));
    // The visible frame lacks the top 22 pixels: in the flipped coordinates
    // that is the bottom of the rectangle, since the platform's y is up.
    EXPECT_EQ(primary.visibleFrame, (Rect{0, 22, 1440, 900}));
    EXPECT_TRUE(primary.secondFlag);

    const Display above = DETAIL::toDisplay(screen(1440.75, 900.5, 1920.9, 1080.2), 900);
    EXPECT_EQ(above.frame, (Rect{1440, -1080, 1440 + 1920, -1080 + 1080}));

    // Values beyond 32 bits, and values that are not numbers, stay within
    // range rather than overflowing the conversion.
    const Display absurd = DETAIL::toDisplay(screen(3e12, std::numeric_limits<double>::quiet_NaN(), 3e12, 10), 10);
    EXPECT_EQ(absurd.frame.left, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(absurd.frame.right, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(absurd.frame.top, 0);
}

TEST(DisplayLayoutTest, HighResolutionFollowsTheScaleFactor)
{
    EXPECT_FALSE(DETAIL::toDisplay(screen(0, 0, 10, 10, 1.0005), 10).highResolution);
    EXPECT_TRUE(DETAIL::toDisplay(screen(0, 0, 10, 10, 2.0), 10).highResolution);
    // A screen that cannot tell its factor is taken as an ordinary one.
    EXPECT_FALSE(DETAIL::toDisplay(screen(0, 0, 10, 10, std::nullopt), 10).highResolution);
}

TEST(DisplayLayoutTest, TheLayoutIsVerticalWhenAMidpointLiesOverTheNextDisplay)
{
    // Side by side: the first midpoint (960) is left of the second display.
    EXPECT_FALSE(DETAIL::isVerticalLayout(displays({{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}})));
    // Stacked: the first midpoint lies within the second's extent.
    EXPECT_TRUE(DETAIL::isVerticalLayout(displays({{0, 0, 1920, 1080}, {200, 1080, 1480, 2104}})));
    // The midpoint on the right edge still counts; one pixel further does not.
    EXPECT_TRUE(DETAIL::isVerticalLayout(displays({{0, 0, 200, 100}, {0, 100, 100, 200}})));
    EXPECT_FALSE(DETAIL::isVerticalLayout(displays({{0, 0, 202, 100}, {0, 100, 100, 200}})));
    // A midpoint left of the next display is no overlap, however far.
    EXPECT_FALSE(DETAIL::isVerticalLayout(displays({{-5000, 0, -4000, 100}, {0, 100, 100, 200}})));
    // The walk starts at -1, so a first display spanning x = -1 says vertical.
    EXPECT_TRUE(DETAIL::isVerticalLayout(displays({{-100, 0, 100, 100}})));
    EXPECT_FALSE(DETAIL::isVerticalLayout(displays({})));
}
