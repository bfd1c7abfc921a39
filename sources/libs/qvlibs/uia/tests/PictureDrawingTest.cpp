#include <QV/UIA/Picture.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <tuple>

using QV::GP::Point;
using QV::GP::Rect;
using QV::UIA::Picture;

namespace {

constexpr std::uint32_t kBackground = 0x80402010u;

// A small picture with an origin and a clip, and a large one with the same
// origin-relative coordinates reaching at least 160 pixels further on every
// side, so that anything drawn with coordinates in [-90, 150] and lengths up
// to 100 lands inside it unclipped. Clipped drawing on the small one must equal the large one's
// pixels inside the clip and leave every other pixel alone.
struct ClipPair
{
    ClipPair(Point origin, const Rect* clip)
    {
        small.setSize(64, 48, false);
        large.setSize(500, 500, false);
        small.clear(kBackground);
        large.clear(kBackground);
        small.setOrigin(origin);
        large.setOrigin({origin.x + 200, origin.y + 200});
        if (clip != nullptr)
            small.setClipRect(*clip);
    }

    void expectSame(const std::string& what) const
    {
        const Rect clip = small.getEffectiveClip();
        const Point o = small.getOrigin();
        for (int y = 0; y < small.getHeight(); ++y)
            for (int x = 0; x < small.getWidth(); ++x) {
                const int rx = x - o.x;
                const int ry = y - o.y;
                const bool in = rx >= clip.left && rx < clip.right && ry >= clip.top && ry < clip.bottom;
                const std::uint32_t want = in ? *large.pixelAt(rx, ry) : kBackground;
                ASSERT_EQ(*small.pixelAt(rx, ry), want) << what << " at " << rx << "," << ry << (in ? " in" : " out");
            }
    }

    Picture small, large;
};

// Random origins and clips, some clips empty, some absent.
void forRandomClips(const std::function<void(ClipPair&, std::mt19937&)>& draw)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> origin(-20, 40), edge(-30, 80);
    for (int round = 0; round < 60; ++round) {
        const Rect clip{edge(random), edge(random), edge(random), edge(random)};
        ClipPair pair({origin(random), origin(random)}, round % 5 == 0 ? nullptr : &clip);
        draw(pair, random);
        pair.expectSame("round " + std::to_string(round));
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

int countSet(const Picture& p, std::uint32_t colour)
{
    return int(std::count(p.getPixels(), p.getPixels() + p.getWidth() * p.getHeight(), colour));
}

} // namespace

TEST(PictureDrawingTest, LinesEndBeforeTheirEndPoint)
{
    Picture p;
    p.setSize(8, 8, false);
    p.clear(0);
    p.drawLineUC(0, 0, 3, 0, 0xFFFFFFFFu);
    EXPECT_EQ(countSet(p, 0xFFFFFFFFu), 3);
    EXPECT_EQ(p.getRow(0)[3], 0u);
    p.drawLineUC(1, 1, 1, 1, 0xFFFFFFFFu);
    EXPECT_EQ(p.getRow(1)[1], 0u);
    // |dx| = |dy| walks along y: the diagonal without its end.
    p.clear(0);
    p.drawLine(0, 0, 4, 4, 0xFF0000FFu);
    EXPECT_EQ(countSet(p, 0xFF0000FFu), 4);
    EXPECT_EQ(p.getRow(3)[3], 0xFF0000FFu);

    // Lines far longer than the picture are walked only where they can
    // show: this would take billions of steps otherwise.
    p.clear(0);
    p.drawLine(INT_MIN, 2, INT_MAX, 2, 0xFF00FF00u);
    EXPECT_EQ(countSet(p, 0xFF00FF00u), 8);
    p.clear(0);
    p.drawLine(5, INT_MAX, 5, INT_MIN, 0xFF00FF00u);
    EXPECT_EQ(countSet(p, 0xFF00FF00u), 8);
    p.clear(0);
    p.drawLine(-2000000000, -1999999999, 2000000000, 2000000001, 0xFF00FF00u);
    EXPECT_EQ(countSet(p, 0xFF00FF00u), 7);
    EXPECT_EQ(p.getRow(7)[6], 0xFF00FF00u);
}

TEST(PictureDrawingTest, ClippedLinesEqualUnclippedInsideTheClip)
{
    forRandomClips([](ClipPair& pair, std::mt19937& random) {
        std::uniform_int_distribution<int> coordinate(-90, 150);
        for (int i = 0; i < 20; ++i) {
            const int x1 = coordinate(random), y1 = coordinate(random), x2 = coordinate(random), y2 = coordinate(random);
            const std::uint32_t colour = i % 2 ? 0xFF00FF00u + std::uint32_t(i) : 0x7000FF00u;
            pair.small.drawLine(x1, y1, x2, y2, colour);
            pair.large.drawLineUC(x1, y1, x2, y2, colour);
            pair.small.drawLineH(x1, y1, x2 / 2, colour);
            pair.large.drawLineHUC(x1, y1, x2 / 2, colour);
            pair.small.drawLineV(x2, y2, y1 / 2, colour);
            pair.large.drawLineVUC(x2, y2, y1 / 2, colour);
        }
    });
}

TEST(PictureDrawingTest, ClippedAreasEqualUnclippedInsideTheClip)
{
    forRandomClips([](ClipPair& pair, std::mt19937& random) {
        std::uniform_int_distribution<int> coordinate(-90, 100), size(-5, 50);
        for (int i = 0; i < 12; ++i) {
            const int x = coordinate(random), y = coordinate(random), w = size(random), h = size(random);
            const std::uint32_t colour = std::uint32_t(i * 21) << 24 | 0x00336699u;
            pair.small.fillArea(x, y, w, h, colour);
            pair.large.fillAreaUC(x, y, w, h, colour);
            pair.small.drawRectangle(y, x, h, w, ~colour);
            pair.large.drawRectangle(y, x, h, w, ~colour);
            pair.small.invertArea(x + 7, y - 3, h, w);
            pair.large.invertArea(x + 7, y - 3, h, w);
        }
    });
}

TEST(PictureDrawingTest, AntiAliasedLines)
{
    forRandomClips([](ClipPair& pair, std::mt19937& random) {
        std::uniform_real_distribution<float> coordinate(-90.0F, 150.0F);
        for (int i = 0; i < 10; ++i) {
            const float x1 = coordinate(random), y1 = coordinate(random), x2 = coordinate(random), y2 = coordinate(random);
            pair.small.drawLineAA(x1, y1, x2, y2, 0xC0FFFFFFu);
            pair.large.drawLineAA(x1, y1, x2, y2, 0xC0FFFFFFu);
        }
    });

    // A horizontal line through pixel centres covers its row fully (alpha
    // 255 there) and leaves the rows beside it alone.
    Picture p;
    p.setSize(16, 8, false);
    p.clear(0xFF000000u);
    p.drawLineAA(2.0F, 3.0F, 12.0F, 3.0F, 0xFFFFFFFFu);
    for (int x = 3; x < 12; ++x) {
        EXPECT_EQ(p.getRow(3)[x], 0xFFFFFFFFu) << x;
        EXPECT_EQ(p.getRow(2)[x], 0xFF000000u) << x;
        EXPECT_EQ(p.getRow(4)[x], 0xFF000000u) << x;
    }
    // Transparent colours and lines of no length draw nothing; lines far
    // beyond the picture neither hang nor write outside it.
    p.clear(0xFF000000u);
    p.drawLineAA(1.0F, 1.0F, 9.0F, 5.0F, 0x00FFFFFFu);
    p.drawLineAA(4.0F, 4.0F, 4.0F, 4.0F, 0xFFFFFFFFu);
    EXPECT_EQ(countSet(p, 0xFF000000u), 16 * 8);
    p.drawLineAA(-1.0e7F, 2.0F, 1.0e7F, 2.0F, 0xFFFFFFFFu);
    p.drawLineAA(-3.0e38F, -3.0e38F, 3.0e38F, 3.0e38F, 0xFFFFFFFFu);
    EXPECT_EQ(countSet(p, 0xFFFFFFFFu), 16);
}

TEST(PictureDrawingTest, SinglePixelsRunsAndAreas)
{
    Picture p;
    p.setSize(4, 3, false);
    p.clear(0x00123456u);
    p.setPixelUC(0, 0, 0x00FFFFFFu);
    EXPECT_EQ(p.getRow(0)[0], 0u) << "a transparent pixel under a transparent colour becomes 0";
    p.fillArea(0, 1, 4, 1, 0x00FFFFFFu);
    EXPECT_EQ(p.getRow(1)[0], 0x00123456u) << "areas skip transparent colours";

    // Half-transparent red on opaque white, then the legacy formula.
    p.clear(0xFFFFFFFFu);
    p.fillArea(0, 0, 4, 3, 0x80FF0000u);
    EXPECT_EQ(countSet(p, 0xFFFF7F7Fu), 12);
    p.clear(0xFFFFFFFFu);
    p.setUseLegacyAlphaCompositing(true);
    p.drawLineH(0, 0, 4, 0x80FF0000u);
    p.setPixelUC(0, 1, 0x80FF0000u);
    EXPECT_EQ(countSet(p, 0x00FF7F7Fu), 5);

    // Areas without a clip stay inside the picture; setAreaColor keeps to
    // the picture's bounds, not to the clip.
    p.clear(0);
    p.setOrigin({1, 1});
    p.fillArea(-100, -100, 1000, 1000, 0xFF0000FFu);
    EXPECT_EQ(countSet(p, 0xFF0000FFu), 12);
    p.setClipRect({0, 0, 1, 1});
    p.setAreaColor({-5, -5, 500, 1}, 0x01010101u);
    EXPECT_EQ(countSet(p, 0x01010101u), 8);
    p.invertArea(-9, -9, 90, 90);
    EXPECT_EQ(p.getRow(1)[1], 0x01FEFEFEu);
    EXPECT_EQ(countSet(p, 0x01010101u), 7);
}

TEST(PictureDrawingTest, ScaledCopies)
{
    Picture p;
    p.setSize(3, 2, false);
    for (int i = 0; i < 6; ++i)
        p.getPixels()[i] = 0xFF000000u + std::uint32_t(i);
    p.setAlphaChannel(true);
    p.setVertResizable(true);
    p.setHorzResizable(true);
    p.setFixedTop(1);
    p.setFixedLeft(1);
    p.setFixedRight(-1);

    // A whole factor repeats each pixel as a k x k block; the borders scale.
    auto twice = p.cloneAndScale(2.0F, Picture::ePixelReplication);
    ASSERT_TRUE(twice);
    ASSERT_EQ(twice->getWidth(), 6);
    ASSERT_EQ(twice->getHeight(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(twice->getRow(y)[x], p.getRow(y / 2)[x / 2]);
    EXPECT_EQ(twice->getFixedTop(), 2);
    EXPECT_EQ(twice->getFixedLeft(), 2);
    EXPECT_EQ(twice->getFixedRight(), -2);
    EXPECT_TRUE(twice->getAlphaChannel());

    // Factors below 1 and fractional ones still give every pixel a value
    // taken from the source.
    const std::set<std::uint32_t> source(p.getPixels(), p.getPixels() + 6);
    for (float scale : {0.5F, 1.5F, 2.6F}) {
        auto scaled = p.cloneAndScale(scale, Picture::ePixelReplication);
        ASSERT_TRUE(scaled) << scale;
        EXPECT_EQ(scaled->getWidth(), int(std::lround(3 * scale)));
        for (int i = 0; i < scaled->getWidth() * scaled->getHeight(); ++i)
            EXPECT_TRUE(source.count(scaled->getPixels()[i])) << scale << " at " << i;
    }

    // Smooth scaling keeps a plain colour plain, and transparent pixels do not
    // darken the visible ones beside them.
    p.getPixels()[0] = p.getPixels()[1] = p.getPixels()[3] = p.getPixels()[4] = 0x00000000u;
    p.getPixels()[2] = p.getPixels()[5] = 0xFFFFFFFFu;
    for (float scale : {0.5F, 1.7F, 4.0F}) {
        auto smooth = p.cloneAndScale(scale, Picture::eSmooth);
        ASSERT_TRUE(smooth);
        for (int i = 0; i < smooth->getWidth() * smooth->getHeight(); ++i) {
            const std::uint32_t px = smooth->getPixels()[i];
            if (px >= 0x01000000u) {
                EXPECT_EQ(px & 0xFFFFFFu, 0xFFFFFFu) << scale << " at " << i;
            }
        }
    }

    for (float scale : {0.0F, -1.0F, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                        0.1F, 1.0e9F})
        EXPECT_FALSE(p.cloneAndScale(scale, Picture::eSmooth)) << scale;
}

TEST(PictureDrawingTest, HighResolutionNames)
{
    for (const auto& [name, scale, resolved] :
         {std::tuple{"pictures/knob.png", 1.0F, "pictures/knob.png"}, {"pictures/knob.png", 1.5F, "pictures/knob@2x.png"},
          {"pictures/knob.png", 3.0F, "pictures/knob@2x.png"}, {"knob", 2.0F, "knob@2x"},
          {"/skin/a.b.tga", 2.0F, "/skin/a.b@2x.tga"}})
        EXPECT_EQ(QV::UIA::resolveHiDPIUrl(name, scale), resolved) << name << " at " << scale;
}
