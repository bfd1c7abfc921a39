// The block pool: growth by packets, giving packets back, failure to get
// memory, and several threads sharing one pool.

#include <QV/GP/RegularAllocator.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace QV::GP {
namespace {

using Base = DETAIL::RegularAllocatorBase;

// Packet memory that can be refused on demand.
class RationedAllocator : public DA::RegularAllocator {
public:
    ~RationedAllocator() override { tearDown(); }

    void* allocatePacket(std::size_t bytes) override
    {
        if (packetsLeft == 0)
            return nullptr;
        --packetsLeft;
        return DA::RegularAllocator::allocatePacket(bytes);
    }

    int packetsLeft = 1000;
};

constexpr std::size_t packetBytes(std::size_t elements) { return 40 * elements + Base::kPacketHeaderSize; }

TEST(RegularAllocatorTest, GrowsByDoublingAndGivesEmptyPacketsBack)
{
    DA::RegularAllocator pool("test item");
    ASSERT_TRUE(pool.init(32, 8192, 6710886));
    EXPECT_EQ(pool.bytesInUse(), packetBytes(8192));

    std::vector<void*> held;
    for (int i = 0; i < 8192; ++i)
        held.push_back(pool.allocate(0));
    // The last slot of a packet goes out first, then downwards.
    EXPECT_EQ(static_cast<char*>(held[0]) - static_cast<char*>(held[1]), 40);
    EXPECT_EQ(pool.packetCount(), 1u);

    held.push_back(pool.allocate(0));
    EXPECT_EQ(pool.packetCount(), 2u);
    EXPECT_EQ(pool.largestPacketElements(), 16384u);
    EXPECT_EQ(pool.bytesInUse(), packetBytes(8192) + packetBytes(16384));
    EXPECT_EQ(pool.elementsInUse(), 8193u);

    // Handed-out memory is the caller's: fill it whole.
    for (void* p : held)
        std::memset(p, 0xA5, 32);

    // Emptying the second packet gives it back; the first one stays.
    pool.deallocate(held.back());
    held.pop_back();
    EXPECT_EQ(pool.packetCount(), 1u);
    EXPECT_EQ(pool.nextPacketElements(), 16384u);
    for (void* p : held)
        pool.deallocate(p);
    EXPECT_EQ(pool.packetCount(), 1u);
    EXPECT_EQ(pool.elementsInUse(), 0u);
    pool.deallocate(nullptr);
}

TEST(RegularAllocatorTest, GrowthStopsAtItsLimit)
{
    DA::RegularAllocator pool;
    ASSERT_TRUE(pool.init(24, 4, 10));
    std::vector<void*> held;
    for (int i = 0; i < 4 + 8 + 10 + 10; ++i)
        held.push_back(pool.allocate(0));
    EXPECT_EQ(pool.packetCount(), 4u);
    EXPECT_EQ(pool.largestPacketElements(), 10u);
    for (void* p : held)
        pool.deallocate(p);
}

TEST(RegularAllocatorTest, DeInitKeepsPacketsThatAreStillInUse)
{
    DA::RegularAllocator pool;
    ASSERT_TRUE(pool.init(32, 2, 2));
    void* a = pool.allocate(0);
    void* b = pool.allocate(0);
    void* c = pool.allocate(0); // second packet
    pool.deallocate(b);
    pool.deInit();
    EXPECT_FALSE(pool.isSetUp());
    EXPECT_EQ(pool.packetCount(), 2u) << "both packets still hold an element";

    // The memory is still ours (AddressSanitizer would object otherwise)
    // and can still be returned; each packet goes once it is empty.
    std::memset(a, 1, 32);
    std::memset(c, 2, 32);
    pool.deallocate(c);
    EXPECT_EQ(pool.packetCount(), 1u);
    pool.deallocate(a);
    EXPECT_EQ(pool.packetCount(), 0u);
    EXPECT_EQ(pool.bytesInUse(), 0u);
    EXPECT_THROW(pool.allocate(0), std::bad_alloc) << "a pool that is not set up hands out nothing";

    // Set up again, the pool works as new.
    ASSERT_TRUE(pool.init(32, 2, 2));
    pool.deallocate(pool.allocate(0));
    pool.deInit();
    EXPECT_EQ(pool.packetCount(), 0u);
}

TEST(RegularAllocatorTest, NoPacketMeansBadAllocAndNothingLost)
{
    RationedAllocator pool;
    pool.packetsLeft = 0;
    EXPECT_FALSE(pool.init(32, 4, 8)) << "no first packet";
    EXPECT_FALSE(pool.isSetUp());

    pool.packetsLeft = 1;
    ASSERT_TRUE(pool.init(32, 4, 8));
    std::vector<void*> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(pool.allocate(0));
    EXPECT_THROW(pool.allocate(0), std::bad_alloc);
    EXPECT_EQ(pool.elementsInUse(), 4u);
    pool.deallocate(held.back());
    held.back() = pool.allocate(0);

    // The one-packet flag refuses growth even when memory is there.
    pool.packetsLeft = 10;
    pool.setFlags(Base::kFlagOnePacket);
    EXPECT_THROW(pool.allocate(0), std::bad_alloc);
    pool.setFlags(0);
    held.push_back(pool.allocate(0));
    EXPECT_EQ(pool.packetCount(), 2u);
    for (void* p : held)
        pool.deallocate(p);
}

TEST(RegularAllocatorTest, AlignedElementArea)
{
    DA::RegularAllocator pool;
    ASSERT_TRUE(pool.init(24, 8, 8, Base::kFlagAlign32));
    std::vector<void*> held;
    for (int i = 0; i < 8; ++i)
        held.push_back(pool.allocate(0));
    // The first slot of the packet (handed out last) starts on 32 bytes.
    const auto firstSlot = reinterpret_cast<std::uintptr_t>(held.back()) - Base::kSlotOffset;
    EXPECT_EQ(firstSlot % 32, 0u);
    EXPECT_EQ(pool.bytesInUse(), 32 * 8 + Base::kPacketHeaderSize + 24);
    for (void* p : held)
        pool.deallocate(p);
}

TEST(RegularAllocatorTest, ThreadsShareOnePool)
{
    DA::RegularAllocator pool;
    ASSERT_TRUE(pool.init(32, 16, 64));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&pool, t] {
            std::vector<void*> mine;
            for (int round = 0; round < 200; ++round) {
                for (int i = 0; i < 50; ++i) {
                    void* p = pool.allocate(0);
                    std::memset(p, t, 32);
                    mine.push_back(p);
                }
                for (void* p : mine)
                    if (*static_cast<unsigned char*>(p) != t)
                        ADD_FAILURE() << "element shared between threads";
                for (void* p : mine)
                    pool.deallocate(p);
                mine.clear();
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(pool.elementsInUse(), 0u);
}

} // namespace
} // namespace QV::GP
