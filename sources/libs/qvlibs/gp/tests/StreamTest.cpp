#include <QV/GP/MemoryStream.h>
#include <QV/GP/ResourceStream.h>
#include <QV/GP/compiled_resources.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using QV::GP::IStorage;
using QV::GP::MemoryStream;
using QV::GP::ResourceStream;
namespace Endian = QV::GP::Endian;

namespace {

const std::array<std::uint8_t, 7> kBytes{0x01, 0x02, 0x03, 0x04, 0xFE, 0x01, 0x00};

void openOver(MemoryStream& stream, const void* data, std::size_t size)
{
    stream.getMemoryStorage().init(IStorage::eAccessRead, data, size);
}

} // namespace

TEST(StreamTest, TypedValuesInBothByteOrders)
{
    MemoryStream stream;
    EXPECT_EQ(stream.getByteOrder(), Endian::eLittleEndian);
    openOver(stream, kBytes.data(), kBytes.size());
    EXPECT_EQ(stream.readU32(), 0x04030201u);
    EXPECT_EQ(stream.readS8(), -2);
    EXPECT_TRUE(stream.readBoolean());
    EXPECT_FALSE(stream.readBoolean());

    stream.setByteOrder(Endian::eBigEndian);
    stream.getStorage()->seek64(0, IStorage::eSeekFromStart);
    EXPECT_EQ(stream.readU32(), 0x01020304u);
    stream.getStorage()->seek64(0, IStorage::eSeekFromStart);
    EXPECT_EQ(stream.readU16(), 0x0102u);
    EXPECT_EQ(stream.readU16(), 0x0304u);
    EXPECT_EQ(stream.readU8(), 0xFEu);
    EXPECT_EQ(stream.getStorage()->getState(), IStorage::eStateOpen);
}

TEST(StreamTest, WrittenValuesReadBackInEitherOrder)
{
    for (auto order : {Endian::eLittleEndian, Endian::eBigEndian})
    {
        std::array<std::uint8_t, 9> block{};
        MemoryStream stream;
        stream.setByteOrder(order);
        stream.getMemoryStorage().init(IStorage::eAccessReadWrite, static_cast<void*>(block.data()), block.size());
        stream.writeU32(0xA1B2C3D4u);
        stream.writeS32(-2);
        stream.writeBoolean(true);
        EXPECT_EQ(block[0], order == Endian::eLittleEndian ? 0xD4 : 0xA1);
        stream.getStorage()->seek64(0, IStorage::eSeekFromStart);
        EXPECT_EQ(stream.readU32(), 0xA1B2C3D4u);
        EXPECT_EQ(stream.readS32(), -2);
        EXPECT_TRUE(stream.readBoolean());
        EXPECT_EQ(stream.getStorage()->getState(), IStorage::eStateEndOfFile);
    }
}

TEST(StreamTest, ShortTypedReadsAnswerZero)
{
    for (auto order : {Endian::eLittleEndian, Endian::eBigEndian})
    {
        MemoryStream stream;
        stream.setByteOrder(order);
        openOver(stream, kBytes.data(), 3);
        EXPECT_EQ(stream.readU32(), 0u) << "not a value made of three bytes and a stale one";
        EXPECT_EQ(stream.getStorage()->getState(), IStorage::eStateError);
        EXPECT_EQ(stream.readU16(), 0u);

        openOver(stream, kBytes.data(), 1);
        EXPECT_EQ(stream.readU16(), 0u);
        EXPECT_EQ(stream.readU8(), 0u);
    }
    MemoryStream unopened;
    EXPECT_EQ(unopened.readS32(), 0);
    unopened.setStorage(nullptr);
    EXPECT_EQ(unopened.readU32(), 0u);
    unopened.writeU32(1);
}

TEST(StreamTest, ResourcesComeFromTheCompiledRegistry)
{
    static const std::uint8_t kStyle[] = {'s', 't', 'y', 'l', 'e'};
    qv::compiled_resources::register_resource(qv::symbol(std::string("StreamTestStyle")),
                                              qv::compiled_resources::data(kStyle, sizeof kStyle));
    qv::compiled_resources::register_resource(qv::symbol(std::string("STREAMTESTPICTURE")), 7,
                                              qv::compiled_resources::data(kStyle, 2));

    ResourceStream named;
    ASSERT_TRUE(named.init(nullptr, "StreamTestStyle", "STYLESHEET"));
    char out[8] = {};
    EXPECT_EQ(named.readRaw(out, sizeof out), 5u);
    EXPECT_EQ(std::string(out, 5), "style");
    EXPECT_EQ(named.getStorage()->getState(), IStorage::eStateError);
    EXPECT_EQ(named.getStorage()->write("x", 1), 0u);

    // The whole type text keys the registry, not its first four characters.
    ResourceStream numbered;
    ASSERT_TRUE(numbered.init(nullptr, 7, "STREAMTESTPICTURE"));
    EXPECT_EQ(numbered.readU16(), 0x7473u);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(numbered.init(nullptr, 7, "STRE"));
    EXPECT_FALSE(numbered.init(nullptr, "StreamTestMissing", "STYLESHEET"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "cannot resolve resource: STRE 7\ncannot resolve resource: StreamTestMissing\n");
    EXPECT_EQ(numbered.getStorage()->getState(), IStorage::eStateClosed);
    EXPECT_EQ(numbered.getStorage()->getPos64(), -1);
}
