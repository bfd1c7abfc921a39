#include <QV/UIA/PictureCombiner.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using QV::GP::Rect;
using QV::UIA::Picture;
using QV::UIA::PictureCombiner;
namespace Functors = QV::UIA::PictureCombinerFunctors;

namespace {

// A picture whose every pixel differs: alpha from the caller, colour from the
// position.
void paint(Picture& p, int w, int h, std::uint32_t alpha, bool alphaChannel)
{
    p.setSize(w, h, false);
    p.setAlphaChannel(alphaChannel);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.getRow(y)[x] = alpha << 24 | std::uint32_t(y) << 8 | std::uint32_t(x);
}

bool samePixels(const Picture& a, const Picture& b)
{
    return a.getWidth() == b.getWidth() && a.getHeight() == b.getHeight() &&
           std::equal(a.getPixels(), a.getPixels() + a.getWidth() * a.getHeight(), b.getPixels());
}

} // namespace

TEST(PictureCombinerTest, FunctorsOnTransparentAndOpaquePixels)
{
    Picture source, target, before;
    paint(source, 8, 8, 0xC0, true);
    paint(target, 8, 8, 0x00, false);
    paint(before, 8, 8, 0x00, false);

    // Blending weighs by both alphas: nothing shows on a transparent target,
    // and a dye without alpha changes nothing.
    target.putPicture<Functors::BlendUsingAlpha>(0, 0, source);
    EXPECT_TRUE(samePixels(target, before));
    target.clear(0xFF808080u);
    Functors::DyeUsingAlphaMask clearDye(0x00FF0000u);
    PictureCombiner<Functors::DyeUsingAlphaMask>(target, clearDye).combine(0, 0, 8, 8, source, 0, 0);
    EXPECT_EQ(target.getRow(3)[3], 0xFF808080u);

    // An opaque dye through an opaque mask replaces the colour, keeps alpha.
    source.clear(0xFF000000u);
    target.clear(0x40808080u);
    Functors::DyeUsingAlphaMask red(0xFFFF0000u);
    PictureCombiner<Functors::DyeUsingAlphaMask>(target, red).combine(2, 2, 3, 3, source, 0, 0);
    EXPECT_EQ(target.getRow(2)[2], 0x40FF0000u);
    EXPECT_EQ(target.getRow(1)[2], 0x40808080u);

    // Copying a source without alpha takes its words, alpha included.
    paint(source, 8, 8, 0x12, false);
    target.putPicture<Functors::CopySource>(1, 1, source);
    EXPECT_EQ(target.getRow(1)[1], source.getRow(0)[0]);
    EXPECT_EQ(target.getRow(7)[7], source.getRow(6)[6]);
}

TEST(PictureCombinerTest, AreasAreCutToTargetAndSource)
{
    Picture source, target;
    paint(source, 10, 6, 0xFF, false);
    target.setSize(20, 20, false);
    target.clear(0);
    // Without a clip the source area reaches past both pictures on every side.
    Functors::CopySource functor;
    PictureCombiner<Functors::CopySource> combiner(target, functor);
    combiner.combine(-3, 15, 100, 100, source, -2, 1);
    EXPECT_EQ(target.getRow(16)[0], source.getRow(2)[1]) << "source cut on the left moves the target too";
    EXPECT_EQ(target.getRow(15)[0], source.getRow(1)[1]);
    EXPECT_EQ(target.getRow(19)[8], source.getRow(5)[9]);
    EXPECT_EQ(target.getRow(19)[9], 0u);
    int drawn = 0;
    for (int i = 0; i < 400; ++i)
        drawn += target.getPixels()[i] != 0;
    EXPECT_EQ(drawn, 9 * 5);
}

TEST(PictureCombinerTest, OverlappingCopyWithinOnePicture)
{
    Picture p, original;
    paint(p, 16, 16, 0xFF, false);
    paint(original, 16, 16, 0xFF, false);
    Functors::CopySource functor;
    PictureCombiner<Functors::CopySource>(p, functor).combine(3, 2, 10, 10, p, 0, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(p.getRow(y + 2)[x + 3], original.getRow(y)[x]) << x << "," << y;
}

TEST(PictureCombinerTest, AnimationFrames)
{
    Picture frames, target;
    paint(frames, 4, 12, 0xFF, false);
    frames.setNumAnimations(4);
    target.setSize(4, 3, false);
    target.clear(0);
    target.putPicture<Functors::CopySource>(0, 0, frames, 9);
    EXPECT_EQ(target.getRow(0)[0], frames.getRow(9)[0]) << "frame 9 of 4 draws the last";
    EXPECT_EQ(target.getRow(2)[3], frames.getRow(11)[3]);

    // Side by side, with a source rectangle inside the frame.
    frames.setHorizontalAnimation(true);
    frames.setNumAnimations(2);
    target.clear(0);
    const Rect part{1, 1, 2, 3};
    target.putPicture<Functors::CopySource>(0, 0, frames, 1, &part);
    EXPECT_EQ(target.getRow(0)[0], frames.getRow(1)[3]);
    EXPECT_EQ(target.getRow(1)[0], frames.getRow(2)[3]);
    EXPECT_EQ(target.getRow(0)[1], 0u);
    // A source rectangle moved past the source draws nothing.
    const Rect beyond{3, 0, 4, 1};
    target.clear(0);
    target.putPicture<Functors::CopySource>(0, 0, frames, 1, &beyond);
    EXPECT_EQ(target.getRow(0)[0], 0u);
}

TEST(PictureCombinerTest, ClippedTilingKeepsItsPhase)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> coordinate(-10, 50), block(1, 9);
    Picture source;
    paint(source, 9, 9, 0xB0, true);
    for (int round = 0; round < 40; ++round) {
        Picture clipped, whole;
        clipped.setSize(48, 40, false);
        whole.setSize(48, 40, false);
        clipped.clear(0xFF204060u);
        whole.clear(0xFF204060u);
        const Rect clip{coordinate(random), coordinate(random), coordinate(random), coordinate(random)};
        clipped.setClipRect(clip);
        const int x = coordinate(random), y = coordinate(random), w = coordinate(random), h = coordinate(random);
        const int sx = block(random) - 1, sy = block(random) - 1, sw = block(random), sh = block(random);
        Functors::BlendUsingAlpha blend;
        Functors::CopySource copy;
        PictureCombiner<Functors::BlendUsingAlpha>(clipped, blend).combineAndRepeatSource(x, y, w, h, source, sx, sy, sw, sh);
        PictureCombiner<Functors::BlendUsingAlpha>(whole, blend).combineAndRepeatSource(x, y, w, h, source, sx, sy, sw, sh);
        PictureCombiner<Functors::CopySource>(clipped, copy).combineAndRepeatSource(y, x, h, w, source, sy, sx, sh, sw);
        PictureCombiner<Functors::CopySource>(whole, copy).combineAndRepeatSource(y, x, h, w, source, sy, sx, sh, sw);
        const Rect in = clipped.getClipRect();
        for (int py = 0; py < 40; ++py)
            for (int px = 0; px < 48; ++px) {
                const bool inside = px >= in.left && px < in.right && py >= in.top && py < in.bottom;
                ASSERT_EQ(clipped.getRow(py)[px], inside ? whole.getRow(py)[px] : 0xFF204060u)
                    << "round " << round << " at " << px << "," << py;
            }
    }

    // A block of no size draws nothing.
    Picture target;
    target.setSize(4, 4, false);
    target.clear(0);
    Functors::CopySource copy;
    PictureCombiner<Functors::CopySource>(target, copy).combineAndRepeatSource(0, 0, 4, 4, source, 0, 0, 0, 3);
    PictureCombiner<Functors::CopySource>(target, copy).combineAndRepeatSource(0, 0, 4, 4, source, 0, 0, 3, -1);
    EXPECT_EQ(target.getRow(3)[3], 0u);
}

TEST(PictureCombinerTest, NineCells)
{
    Picture knob, target;
    paint(knob, 3, 3, 0xFF, false);
    knob.setVertResizable(true);
    knob.setHorzResizable(true);
    knob.setFixedTop(1);
    knob.setFixedBottom(1);
    knob.setFixedLeft(1);
    knob.setFixedRight(1);
    target.setSize(14, 10, false);
    target.clear(0);
    target.setClipRect({0, 0, 9, 10});
    target.putStretched<Functors::CopySource>({2, 2, 12, 8}, knob);
    EXPECT_EQ(target.getClipRect(), (Rect{0, 0, 9, 10})) << "the target's clip comes back";
    // The destination is cut by the target's clip at column 9.
    const auto k = [&](int x, int y) { return knob.getRow(y)[x]; };
    for (int y = 2; y < 8; ++y)
        for (int x = 2; x < 12; ++x) {
            const int kx = x == 2 ? 0 : x == 11 ? 2 : 1;
            const int ky = y == 2 ? 0 : y == 7 ? 2 : 1;
            EXPECT_EQ(target.getRow(y)[x], x < 9 ? k(kx, ky) : 0u) << x << "," << y;
        }
    target.resetClipRect();
    target.putStretched<Functors::CopySource>({2, 2, 12, 8}, knob);
    EXPECT_EQ(target.getRow(7)[11], k(2, 2));
    EXPECT_EQ(target.getRow(2)[11], k(2, 0));

    // Cells flagged empty are left out; negative borders count as 0, and
    // borders wider than the frame leave nothing to draw.
    knob.setAlphaChannel(true);
    knob.getRow(1)[1] = 0x00FFFFFFu;
    knob.initEmptyAreaFlags();
    target.clear(0);
    target.putStretched<Functors::CopySource>({0, 0, 8, 8}, knob);
    EXPECT_EQ(target.getRow(4)[4], 0u);
    EXPECT_EQ(target.getRow(0)[0], k(0, 0));
    knob.setAlphaChannel(false);
    knob.initEmptyAreaFlags();
    knob.setFixedLeft(-4);
    knob.setFixedRight(-4);
    target.clear(0);
    target.putStretched<Functors::CopySource>({0, 0, 6, 3}, knob);
    EXPECT_EQ(target.getRow(0)[5], k(2, 0)) << "all three columns repeat";
    EXPECT_EQ(target.getRow(1)[3], k(0, 1));
    knob.setFixedLeft(2);
    knob.setFixedRight(1);
    target.clear(0);
    target.putStretched<Functors::CopySource>({0, 0, 6, 6}, knob);
    EXPECT_EQ(target.getRow(0)[0], 0u);
}

TEST(PictureCombinerTest, ResizablePictureAtItsOwnSizeIsPutOnce)
{
    Picture knob, plain, once, stretched;
    paint(knob, 5, 4, 0x80, true);
    paint(plain, 5, 4, 0x80, true);
    knob.setVertResizable(true);
    knob.setHorzResizable(true);
    knob.setFixedTop(1);
    knob.setFixedLeft(2);
    for (Picture* p : {&once, &stretched}) {
        p->setSize(9, 9, false);
        p->clear(0xFF336699u);
    }
    once.putPicture<Functors::CopySource>(2, 3, plain);
    stretched.putStretched<Functors::CopySource>({2, 3, 7, 7}, knob);
    EXPECT_TRUE(samePixels(once, stretched));
    const Rect clip{2, 3, 7, 7};
    stretched.clear(0xFF336699u);
    stretched.putStretched<Functors::BlendUsingAlpha>({2, 3, 7, 7}, knob, 0, &clip);
    once.clear(0xFF336699u);
    once.putPicture<Functors::BlendUsingAlpha>(2, 3, plain);
    EXPECT_TRUE(samePixels(once, stretched));
}
