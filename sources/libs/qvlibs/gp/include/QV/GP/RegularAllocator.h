#pragma once

// Fixed-size block pool that grows in packets. Each element slot starts with
// eight bytes that name the owning packet while the element is in use and the
// next free slot while it is free, so returning an element never searches.

#include <cstddef>
#include <cstdint>

#include "QV/GP/CriticalSection.h"

namespace QV::GP {

namespace DETAIL {

// Holds the name of the items a pool hands out, for diagnostics only.
class TUResourceTracker {
public:
    explicit constexpr TUResourceTracker(const char* itemName = nullptr) noexcept : m_itemName(itemName) {}
    const char* itemName() const noexcept { return m_itemName; }

private:
    const char* m_itemName;
};

// The pool itself, without a lock: packets, their free lists and the
// bookkeeping of sizes. Packet memory comes from the two virtual operations so
// that a derived pool can take it from elsewhere (or refuse it).
class RegularAllocatorBase {
public:
    // Only one packet is ever made; the pool then refuses to grow.
    static constexpr std::uint32_t kFlagOnePacket = 0x1;
    // The element area of each packet starts on a 32-byte boundary.
    static constexpr std::uint32_t kFlagAlign32 = 0x4;

    static constexpr std::size_t kPacketHeaderSize = 56;
    static constexpr std::size_t kSlotOffset = 8;

    RegularAllocatorBase() noexcept = default;
    RegularAllocatorBase(const RegularAllocatorBase&) = delete;
    RegularAllocatorBase& operator=(const RegularAllocatorBase&) = delete;

    // Packet memory: null when none can be had. A derived pool that
    // overrides these must call tearDown() in its own destructor, because the
    // base destructor can only reach the base versions.
    virtual void* allocatePacket(std::size_t bytes);
    virtual void deallocatePacket(void* packet);
    // Gives back the packets that hold no element in use; elements still
    // handed out stay valid and can still be returned.
    virtual ~RegularAllocatorBase();

    // Applies the settings and makes the first packet. False when the first
    // packet cannot be had, or when packets of another element size are still
    // in use from an earlier set-up.
    bool setUp(std::size_t elementSize, std::size_t firstPacketElements, std::size_t growthLimit,
               std::uint32_t flags = 0);
    // Gives back every packet with no element in use and marks the pool not
    // set up. Packets that still hold elements are kept until their last
    // element comes back, so nobody's memory disappears under them.
    void tearDown();
    bool isSetUp() const noexcept { return m_setUp; }

    std::uint32_t flags() const noexcept { return m_flags; }
    // Changes the flags of a running pool; with kFlagOnePacket it stops
    // growing, which is how callers (and tests) bound its memory.
    void setFlags(std::uint32_t flags) noexcept { m_flags = flags; }

    std::size_t elementSize() const noexcept { return m_elementSize; }
    std::size_t bytesInUse() const noexcept { return m_bytesInUse; }
    std::size_t nextPacketElements() const noexcept { return m_nextPacketElements; }
    std::size_t largestPacketElements() const noexcept { return m_largestPacketElements; }
    std::size_t packetCount() const noexcept;
    std::size_t elementsInUse() const noexcept;

protected:
    struct Packet {
        Packet* prev;
        Packet* next;
        Packet* prevFree;
        Packet* nextFree;
        void* freeHead;
        std::size_t inUse;
        std::size_t capacity;
    };
    static_assert(sizeof(Packet) == kPacketHeaderSize, "packet header layout");

    // Unlocked work; the locked layer above calls these. The common case, a
    // packet with room and an element that does not empty its packet, stays
    // inline.
    void* allocateUnlocked()
    {
        Packet* packet = m_firstFree;
        if (!packet || !m_setUp)
            return allocateFromNewPacket();
        void* slot = packet->freeHead;
        packet->freeHead = *static_cast<void**>(slot);
        *static_cast<void**>(slot) = packet;
        ++packet->inUse;
        if (!packet->freeHead)
            unlinkFree(packet);
        return static_cast<unsigned char*>(slot) + kSlotOffset;
    }

    void deallocateUnlocked(void* p) noexcept
    {
        if (!p)
            return;
        void* slot = static_cast<unsigned char*>(p) - kSlotOffset;
        Packet* packet = static_cast<Packet*>(*static_cast<void**>(slot));
        if (!packet->freeHead || packet->inUse == 1) {
            deallocateSlow(packet, slot);
            return;
        }
        *static_cast<void**>(slot) = packet->freeHead;
        packet->freeHead = slot;
        --packet->inUse;
    }

private:
    void* allocateFromNewPacket();
    void deallocateSlow(Packet* packet, void* slot) noexcept;
    bool newPacket();
    void releasePacket(Packet* packet) noexcept;
    template <auto Prev, auto Next, class P>
    static void unlinkFrom(P* packet, P*& first, P*& last) noexcept;
    template <auto Prev, auto Next, class P>
    static void appendTo(P* packet, P*& first, P*& last) noexcept;
    void unlinkFree(Packet* packet) noexcept;
    void appendFree(Packet* packet) noexcept;

    std::size_t m_elementSize = 0;
    std::size_t m_elementStride = 0;
    std::size_t m_nextPacketElements = 0;
    std::size_t m_largestPacketElements = 0;
    std::size_t m_growthLimit = 0;
    std::size_t m_bytesInUse = 0;
    std::uint32_t m_flags = 0;
    bool m_setUp = false;
    Packet* m_first = nullptr;
    Packet* m_last = nullptr;
    Packet* m_firstFree = nullptr;
    Packet* m_lastFree = nullptr;
};

// Adds the pool's own recursive lock, so elements may be taken and returned
// on any thread.
class TURegularAllocatorWT : public RegularAllocatorBase {
public:
    // The lock works from load; its owner re-creates and destroys the
    // semaphore with the start and stop of the service that uses the pool.
    bool createLock() noexcept { return m_lock.createSemaphore(); }
    void destroyLock() noexcept { m_lock.destroySemaphore(); }
    bool isLockCreated() const noexcept { return m_lock.isSemaphoreCreated(); }

    // The pool's lock is recursive: a caller that takes or returns many
    // elements in a row may hold it across them, so that each element costs
    // a re-entry instead of a contended-lock round trip.
    CriticalSection& lock() noexcept { return m_lock; }

private:
    CriticalSection m_lock;
};

class TURegularAllocator : public TURegularAllocatorWT {
public:
    explicit TURegularAllocator(const char* itemName = nullptr) noexcept : m_tracker(itemName) {}
    const char* itemName() const noexcept { return m_tracker.itemName(); }

private:
    TUResourceTracker m_tracker;
};

} // namespace DETAIL

namespace DA {

class RegularAllocator : public DETAIL::TURegularAllocator {
public:
    explicit RegularAllocator(const char* itemName = nullptr) noexcept : TURegularAllocator(itemName) {}
    ~RegularAllocator() override;

    // Takes one element; the argument is ignored because the size is fixed.
    // Throws std::bad_alloc when no packet can be had (or the pool is not set
    // up).
    void* allocate(int ignored = 0);
    // Returns one element; null does nothing.
    void deallocate(void* p) noexcept;

    // The same for a caller that already holds lock(): no second entry.
    void* allocateHeld() { return allocateUnlocked(); }
    void deallocateHeld(void* p) noexcept { deallocateUnlocked(p); }

    // Locked forms of the set-up and tear-down of the pool.
    bool init(std::size_t elementSize, std::size_t firstPacketElements, std::size_t growthLimit,
              std::uint32_t flags = 0);
    void deInit();
};

} // namespace DA

} // namespace QV::GP
