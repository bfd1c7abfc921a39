// What a native window is made of without a display: the style mask and
// level a creation style asks for, the turn between the platform's
// bottom-up coordinates and the layer's top-down ones, the resize limits,
// and the conversion of a picture's pixels into the platform's byte order.
#include "../src/Common/BitmapConversion.h"
#include "../src/Common/WindowGeometry.h"

#include <QV/UIA/EventData.h>
#include <QV/UIA/Picture.h>
#include <QV/UIA/WindowBase.h>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using QV::GP::Rect;
using QV::UIA::ResizeProposalEventData;
using QV::UIA::WindowBase;
using QV::UIA::DETAIL::BitmapConversion;
using QV::UIA::DETAIL::WindowGeometry;

constexpr std::uint32_t kAllFour = WindowGeometry::kMaskTitled | WindowGeometry::kMaskClosable
                                   | WindowGeometry::kMaskMiniaturizable | WindowGeometry::kMaskResizable;

// Each row: creation style, window class, and the expected result.
struct StyleCase {
    std::uint32_t style;
    std::uint32_t windowClass;
    std::uint32_t expected;
};

TEST(WindowGeometryTest, StyleMaskOfWindowsAndPanels)
{
    using G = WindowGeometry;
    using W = WindowBase;
    const StyleCase cases[] = {
        {0, G::kClassWindow, kAllFour},
        // Fixed size loses the resize handle, unless resizing is asked for too.
        {W::kStyleFixedSize, G::kClassWindow, kAllFour & ~G::kMaskResizable},
        {W::kStyleFixedSize | W::kStyleResizable, G::kClassWindow, kAllFour},
        {W::kStyleNoTitleBar | W::kStyleNoCloseButton, G::kClassWindow, G::kMaskMiniaturizable | G::kMaskResizable},
        // Borderless and non-activating: nothing but the non-activating bit.
        {W::kStyleBorderless | W::kStyleNonActivating, G::kClassWindow, G::kMaskNonActivating},
        {W::kStyleBorderless, G::kClassPanel, G::kMaskUtility},
        {0, G::kClassOverlayPanel, kAllFour | G::kMaskUtility},
        // The alternative rule: titled, closable only when asked, never
        // miniaturisable; no title bar or border means neither.
        {0, G::kClassAlternativeWindow, G::kMaskTitled},
        {W::kStyleCloseButton | W::kStyleResizable, G::kClassAlternativeWindow,
         G::kMaskTitled | G::kMaskClosable | G::kMaskResizable},
        {W::kStyleCloseButton | W::kStyleNoTitleBar, G::kClassAlternativeWindow, 0},
    };
    for (const StyleCase& c : cases)
        EXPECT_EQ(G::styleMask(c.style, c.windowClass), c.expected) << std::hex << c.style << " class " << c.windowClass;
}

TEST(WindowGeometryTest, LevelsFollowStyleAndClass)
{
    using G = WindowGeometry;
    using W = WindowBase;
    const StyleCase cases[] = {
        {0, G::kClassWindow, G::kLevelNormal},
        // Pop-up menu level is for floating windows only; panels always float.
        {W::kStylePopUpMenuLevel, G::kClassWindow, G::kLevelNormal},
        {W::kStyleFloating, G::kClassWindow, G::kLevelFloating},
        {W::kStyleFloating | W::kStylePopUpMenuLevel, G::kClassAlternativeWindow, G::kLevelPopUpMenu},
        {0, G::kClassPanel, G::kLevelFloating},
        {W::kStyleFloating | W::kStylePopUpMenuLevel | W::kStyleScreenSaverLevel, G::kClassWindow, G::kLevelScreenSaver},
        {W::kStyleScreenSaverLevel, G::kClassWindow, G::kLevelScreenSaver},
    };
    for (const StyleCase& c : cases)
        EXPECT_EQ(std::uint32_t(G::level(c.style, c.windowClass)), c.expected) << std::hex << c.style << " class " << c.windowClass;
}

TEST(WindowGeometryTest, FlipBetweenPlatformAndLayerCoordinates)
{
    const double top = WindowGeometry::primaryTop(0, 600);
    EXPECT_EQ(top, 600.0);
    // A 400 x 300 frame whose top-left is at (100, 100) on a 600-high screen.
    const double bottom = WindowGeometry::platformBottom(100, 300, top);
    EXPECT_EQ(bottom, 200.0);
    EXPECT_EQ(WindowGeometry::fromPlatform(100, bottom, 400, 300, top), (Rect{100, 100, 500, 400}));
    // Fractions are truncated toward zero, also above the primary screen.
    EXPECT_EQ(WindowGeometry::fromPlatform(10.7, 550.5, 20.9, 100, top), (Rect{10, -50, 30, 50}));
    EXPECT_EQ(WindowGeometry::fromPlatform(-10.7, 0, 5, 5, top), (Rect{-10, 595, -5, 600}));
    // The screen's top goes through a 32-bit float.
    EXPECT_EQ(WindowGeometry::primaryTop(0.1, 600), static_cast<double>(600.1f));
    // No screen at all: a default screen whose top is at 0.
    EXPECT_EQ(WindowGeometry::fromPlatform(0, -300, 400, 300, 0), (Rect{0, 0, 400, 300}));
}

TEST(WindowGeometryTest, ResizeLimits)
{
    ResizeProposalEventData limits;
    limits.minWidth = 200;
    limits.maxWidth = 800;
    limits.minHeight = 100;
    limits.maxHeight = 600;

    std::int32_t w = 900;
    std::int32_t h = 50;
    EXPECT_FALSE(WindowGeometry::limitContentSize(w, h, limits)) << "no limit is valid";
    EXPECT_EQ(w, 900);

    limits.limits = ResizeProposalEventData::kMinimumValid | ResizeProposalEventData::kMaximumValid;
    EXPECT_TRUE(WindowGeometry::limitContentSize(w, h, limits));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 100);
    EXPECT_FALSE(WindowGeometry::limitContentSize(w, h, limits)) << "within the limits nothing changes";

    limits.limits = ResizeProposalEventData::kMinimumValid;
    w = 900;
    h = 50;
    EXPECT_TRUE(WindowGeometry::limitContentSize(w, h, limits));
    EXPECT_EQ(w, 900);
    EXPECT_EQ(h, 100);
}

TEST(BitmapConversionTest, PointsForPixelsRoundsHalvesAway)
{
    // A scale of 0 counts as 1.
    for (const auto& [pixels, scale, points] : {std::tuple{800, 1.0f, 800}, {800, 2.0f, 400}, {801, 2.0f, 401},
                                                {799, 2.0f, 400}, {600, 0.0f, 600}})
        EXPECT_EQ(BitmapConversion::pointsForPixels(pixels, scale), points) << pixels << " at " << scale;
    EXPECT_EQ(BitmapConversion::pixelArea({}, 1.0f, 80, 60), (Rect{0, 0, 80, 60}));
    EXPECT_EQ(BitmapConversion::pixelArea({10, 10, 20, 20}, 2.0f, 80, 60), (Rect{20, 20, 40, 40}));
    EXPECT_EQ(BitmapConversion::pixelArea({-5, 50, 100, 100}, 1.0f, 80, 60), (Rect{0, 50, 80, 60}));
}

TEST(BitmapConversionTest, SwapsRedAndBlueOverTheAreaOnly)
{
    QV::UIA::Picture picture;
    ASSERT_TRUE(picture.setSize(3, 2, true));
    const std::uint32_t pixels[] = {0x80112233, 0x00445566, 0xff778899, 0x01020304, 0x05060708, 0x090a0b0c};
    std::copy(std::begin(pixels), std::end(pixels), picture.getPixels());

    const std::size_t rowBytes = 3 * 4 + 4; // rows with padding
    std::vector<std::uint8_t> rgba(rowBytes * 2, 0xee);
    BitmapConversion::toRGBA(picture, {1, 0, 3, 2}, rgba.data(), rowBytes, true);
    const std::vector<std::uint8_t> expected{
        0xee, 0xee, 0xee, 0xee, 0x44, 0x55, 0x66, 0x00, 0x77, 0x88, 0x99, 0xff, 0xee, 0xee, 0xee, 0xee,
        0xee, 0xee, 0xee, 0xee, 0x06, 0x07, 0x08, 0x05, 0x0a, 0x0b, 0x0c, 0x09, 0xee, 0xee, 0xee, 0xee};
    EXPECT_EQ(rgba, expected);

    // Without alpha every alpha byte is opaque, whatever the picture holds;
    // an area reaching outside the picture is cut to it.
    BitmapConversion::toRGBA(picture, {-4, -4, 1, 9}, rgba.data(), rowBytes, false);
    EXPECT_EQ((std::vector<std::uint8_t>(rgba.begin(), rgba.begin() + 4)),
              (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0xff}));
    EXPECT_EQ((std::vector<std::uint8_t>(rgba.begin() + long(rowBytes), rgba.begin() + long(rowBytes) + 4)),
              (std::vector<std::uint8_t>{0x02, 0x03, 0x04, 0xff}));
    EXPECT_EQ(rgba[4 + 3], 0x00) << "pixels outside the area are left alone";

    // Into a buffer of the area's size: the area's top left pixel comes
    // first, rows follow one another at the buffer's row length.
    for (const auto& [area, rowLength, first, second] :
         {std::tuple{Rect{1, 0, 3, 2}, std::size_t(8), std::vector<std::uint8_t>{0x44, 0x55, 0x66, 0x00, 0x77, 0x88, 0x99, 0xff},
                     std::vector<std::uint8_t>{0x06, 0x07, 0x08, 0x05, 0x0a, 0x0b, 0x0c, 0x09}},
          std::tuple{Rect{2, 1, 9, 9}, std::size_t(4), std::vector<std::uint8_t>{0x0a, 0x0b, 0x0c, 0x09},
                     std::vector<std::uint8_t>{0xee, 0xee, 0xee, 0xee}}}) {
        std::vector<std::uint8_t> part(rowLength * 2, 0xee);
        BitmapConversion::areaToRGBA(picture, area, part.data(), rowLength, true);
        EXPECT_EQ((std::vector<std::uint8_t>(part.begin(), part.begin() + long(rowLength))), first);
        EXPECT_EQ((std::vector<std::uint8_t>(part.begin() + long(rowLength), part.end())), second);
    }
}

} // namespace
