#include <QV/UIA/Picture.h>

#include <QV/GP/MemoryStream.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using QV::GP::IStorage;
using QV::GP::MemoryStream;
using QV::GP::Point;
using QV::GP::Rect;
using QV::UIA::Picture;
using QV::UIA::PictureProperties;

namespace {

// Counts the calls of the hook so that the setters and read can be checked.
class CountingPicture : public Picture
{
public:
    void propertiesChanged() override { ++changes; }
    int changes = 0;
};

} // namespace

TEST(PictureTest, SizesAndBuffers)
{
    Picture p;
    EXPECT_EQ(p.getWidth(), 0);
    EXPECT_FALSE(p.isClipSet());
    EXPECT_FALSE(p.setSize(0, 0, false)) << "no buffer and nothing to grow";
    EXPECT_EQ(p.getPixels(), nullptr);

    ASSERT_TRUE(p.setSize(10, 10, false));
    EXPECT_EQ(p.getCapacity(), 400u);
    std::uint32_t* first = p.getPixels();
    p.setOrigin({3, 4});
    p.setClipRect({0, 0, 2, 2});

    // Shrinking without the flag keeps the buffer; the size change resets
    // origin and clip.
    ASSERT_TRUE(p.setSize(5, 4, false));
    EXPECT_EQ(p.getPixels(), first);
    EXPECT_EQ(p.getCapacity(), 400u);
    EXPECT_EQ(p.getOrigin(), (Point{0, 0}));
    EXPECT_FALSE(p.isClipSet());
    EXPECT_EQ(p.getClipRect(), (Rect{0, 0, 5, 4}));

    ASSERT_TRUE(p.setSize(5, 4, true));
    EXPECT_EQ(p.getCapacity(), 80u);
    ASSERT_TRUE(p.setSize(20, 20, false));
    EXPECT_EQ(p.getCapacity(), 1600u);
    ASSERT_TRUE(p.setSize(0, 0, true));
    EXPECT_EQ(p.getCapacity(), 16u) << "an empty size still has a buffer";
}

TEST(PictureTest, SizesWhoseBufferWouldWrapAreRefused)
{
    Picture p;
    ASSERT_TRUE(p.setSize(8, 8, false));
    // In 32 bits each of these would ask for a few bytes or none at all.
    for (auto [w, h] : {std::array{32768, 32768}, {65536, 16384}, {65536, 65537}, {-1, 4}, {4, -1}, {-8, -8}}) {
        EXPECT_FALSE(p.setSize(w, h, true)) << w << " x " << h;
        EXPECT_EQ(p.getWidth(), 8);
        EXPECT_EQ(p.getHeight(), 8);
        EXPECT_EQ(p.getCapacity(), 256u);
    }
}

TEST(PictureTest, ClipFollowsOriginAndStaysInsideThePicture)
{
    Picture p;
    ASSERT_TRUE(p.setSize(100, 100, false));
    p.setOrigin({10, 10});
    p.setClipRect({-20, -20, 50, 50});
    EXPECT_TRUE(p.isClipSet());
    EXPECT_EQ(p.getClipRect(), (Rect{0, 0, 50, 50})) << "nothing above or left of the origin";
    p.setClipRect({20, 20, 500, 500});
    EXPECT_EQ(p.getClipRect(), (Rect{20, 20, 90, 90}));

    // Moving the origin keeps the clip on the same pixels.
    p.setOrigin({15, 10});
    EXPECT_EQ(p.getClipRect(), (Rect{15, 20, 85, 90}));
    EXPECT_EQ(p.getOrigin(), (Point{15, 10}));
    p.setOrigin({60, 10});
    EXPECT_EQ(p.getClipRect(), (Rect{0, 20, 40, 90})) << "re-clamped to the new origin's quadrant";

    for (Rect r : {Rect{5, 5, 5, 9}, Rect{9, 5, 4, 9}, Rect{200, 0, 300, 10}, Rect{-50, 0, -1, 10}}) {
        p.setClipRect(r);
        EXPECT_TRUE(p.isClipSet());
        EXPECT_EQ(p.getClipRect(), Rect{});
        EXPECT_TRUE(p.getEffectiveClip().isEmpty());
    }
    // An origin past the picture leaves nothing to clip to.
    p.setOrigin({100, 0});
    p.setClipRect({0, 0, 10, 10});
    EXPECT_EQ(p.getClipRect(), Rect{});

    p.resetClipRect();
    EXPECT_FALSE(p.isClipSet());
    EXPECT_EQ(p.getClipRect(), (Rect{0, 0, 100, 100}));
    EXPECT_EQ(p.getEffectiveClip(), (Rect{-100, 0, 0, 100}));
}

TEST(PictureTest, FrameSizesFollowCountAndOrientation)
{
    CountingPicture p;
    ASSERT_TRUE(p.setSize(40, 30, false));
    EXPECT_EQ(p.getAnimationHeight(), 30u) << "count 0 is one frame";
    p.setNumAnimations(3);
    EXPECT_EQ(p.getAnimationHeight(), 10u);
    p.setHorizontalAnimation(true);
    EXPECT_EQ(p.getAnimationWidth(), 13u);
    EXPECT_EQ(p.getAnimationHeight(), 30u);
    EXPECT_EQ(p.changes, 2) << "each setter tells the picture";
}

TEST(PictureTest, PropertiesRecordRoundTripAndShortRecords)
{
    PictureProperties original;
    original.setAlphaChannel(true);
    original.setHorizontalAnimation(true);
    original.setNumAnimations(4);
    original.setVertResizable(true);
    original.setFixedTop(3);
    original.setFixedBottom(-2);
    original.setFixedLeft(7);
    original.setFixedRight(0x7FFFFFFF);

    for (auto order : {QV::GP::Endian::eLittleEndian, QV::GP::Endian::eBigEndian}) {
        std::array<std::uint8_t, 40> block{};
        MemoryStream out;
        out.setByteOrder(order);
        out.getMemoryStorage().init(IStorage::eAccessReadWrite, static_cast<void*>(block.data()), block.size());
        ASSERT_TRUE(original.write(out));
        EXPECT_EQ(out.getStorage()->getPos64(), 33);
        EXPECT_EQ(block[order == QV::GP::Endian::eLittleEndian ? 0 : 3], 1) << "version 1";

        // Any version word reads the same eight fields.
        for (std::uint8_t version : {0, 1, 7}) {
            block[order == QV::GP::Endian::eLittleEndian ? 0 : 3] = version;
            MemoryStream in;
            in.setByteOrder(order);
            in.getMemoryStorage().init(IStorage::eAccessRead, static_cast<const void*>(block.data()), 33);
            CountingPicture read;
            ASSERT_TRUE(read.read(in));
            EXPECT_TRUE(static_cast<PictureProperties&>(read) == original);
            EXPECT_EQ(read.changes, 1);
        }
    }

    // A record cut short changes nothing and says so, and so does a write
    // into a block too small for it.
    std::array<std::uint8_t, 40> block{};
    MemoryStream small;
    small.getMemoryStorage().init(IStorage::eAccessReadWrite, static_cast<void*>(block.data()), 20);
    EXPECT_FALSE(original.write(small));
    MemoryStream in;
    in.getMemoryStorage().init(IStorage::eAccessRead, static_cast<const void*>(block.data()), 20);
    CountingPicture read;
    EXPECT_FALSE(read.read(in));
    EXPECT_TRUE(static_cast<PictureProperties&>(read) == PictureProperties{});
    EXPECT_EQ(read.changes, 0);
}

TEST(PictureTest, EmptyAreaFlagsPerFrame)
{
    Picture p;
    ASSERT_TRUE(p.setSize(5, 10, false));
    std::fill_n(p.getPixels(), 50, 0x00FFFFFFu);
    p.setAlphaChannel(true);
    p.setNumAnimations(2);
    p.initEmptyAreaFlags();
    EXPECT_TRUE(p.getEmptyAreaFlags().empty()) << "not resizable";

    p.setVertResizable(true);
    p.setHorzResizable(true);
    p.setFixedTop(1);
    p.setFixedBottom(1);
    p.setFixedLeft(2);
    p.setFixedRight(1);
    p.initEmptyAreaFlags();
    EXPECT_EQ(p.getEmptyAreaFlags(), (std::vector<std::uint32_t>{511, 511}));

    // Frame 0: only its centre; frame 1 (rows 5..9): the bottom-right corner
    // and the top edge.
    p.getRow(2)[2] = 0x01000000u;
    p.getRow(9)[4] = 0xFF000000u;
    p.getRow(5)[3] = 0x80000000u;
    p.initEmptyAreaFlags();
    EXPECT_EQ(p.getEmptyAreaFlags(), (std::vector<std::uint32_t>{511 - 16, 511 - 256 - 2}));

    // Count 0 is one frame; borders that leave no middle give no flags, and
    // negative borders count as 0.
    p.setNumAnimations(0);
    p.initEmptyAreaFlags();
    EXPECT_EQ(p.getEmptyAreaFlags().size(), 1u);
    p.setFixedLeft(4);
    p.initEmptyAreaFlags();
    EXPECT_TRUE(p.getEmptyAreaFlags().empty());
    p.setFixedLeft(-3);
    p.setFixedRight(-3);
    p.setFixedTop(-1);
    p.setFixedBottom(-1);
    p.initEmptyAreaFlags();
    EXPECT_EQ(p.getEmptyAreaFlags(), (std::vector<std::uint32_t>{511 - 16}));

    // A count far beyond the picture makes frames of size 0: no flags, and
    // no vector of billions of entries.
    p.setNumAnimations(0xFFFFFFFFu);
    p.initEmptyAreaFlags();
    EXPECT_TRUE(p.getEmptyAreaFlags().empty());
}
