#include "QV/GP/RegularAllocator.h"

#include <cstring>
#include <limits>
#include <new>

namespace QV::GP {

namespace DETAIL {

namespace {

// Each slot starts with one pointer-sized word: the owning packet while the
// element is handed out, the next free slot while it is free.
void*& slotWord(void* slot) noexcept { return *static_cast<void**>(slot); }

std::size_t roundUp(std::size_t value, std::size_t to) noexcept { return (value + to - 1) / to * to; }

} // namespace

void* RegularAllocatorBase::allocatePacket(std::size_t bytes) { return new (std::nothrow) unsigned char[bytes]; }

void RegularAllocatorBase::deallocatePacket(void* packet) { delete[] static_cast<unsigned char*>(packet); }

RegularAllocatorBase::~RegularAllocatorBase()
{
    // A static pool may be destroyed while other static objects still hold
    // elements; only packets that nobody uses can safely go.
    tearDown();
}

bool RegularAllocatorBase::setUp(std::size_t elementSize, std::size_t firstPacketElements, std::size_t growthLimit,
                                 std::uint32_t flags)
{
    if (m_setUp)
        return true;
    if (elementSize == 0 || firstPacketElements == 0)
        return false;
    // Elements stay pointer-aligned because the stride is a multiple of the
    // slot word.
    const std::size_t size = roundUp(elementSize, sizeof(void*));
    if (m_first && size != m_elementSize)
        return false;
    m_elementSize = size;
    m_elementStride = size + kSlotOffset;
    m_nextPacketElements = firstPacketElements;
    m_growthLimit = growthLimit < firstPacketElements ? firstPacketElements : growthLimit;
    m_flags = flags;
    m_setUp = true;
    // Packets kept from an earlier set-up because they were still in use
    // serve as the pool's memory again.
    if (m_first)
        return true;
    if (!newPacket()) {
        m_setUp = false;
        return false;
    }
    return true;
}

void RegularAllocatorBase::tearDown()
{
    Packet* packet = m_first;
    while (packet) {
        Packet* next = packet->next;
        if (packet->inUse == 0)
            releasePacket(packet);
        packet = next;
    }
    m_setUp = false;
}

std::size_t RegularAllocatorBase::packetCount() const noexcept
{
    std::size_t count = 0;
    for (const Packet* p = m_first; p; p = p->next)
        ++count;
    return count;
}

std::size_t RegularAllocatorBase::elementsInUse() const noexcept
{
    std::size_t count = 0;
    for (const Packet* p = m_first; p; p = p->next)
        count += p->inUse;
    return count;
}

void* RegularAllocatorBase::allocateFromNewPacket()
{
    if (!m_setUp)
        throw std::bad_alloc();
    if (!m_firstFree && !newPacket())
        throw std::bad_alloc();
    return allocateUnlocked();
}

void RegularAllocatorBase::deallocateSlow(Packet* packet, void* slot) noexcept
{
    const bool wasFull = packet->freeHead == nullptr;
    slotWord(slot) = packet->freeHead;
    packet->freeHead = slot;
    if (wasFull)
        appendFree(packet);
    --packet->inUse;
    if (packet->inUse != 0)
        return;
    // The first packet stays for the life of a running pool; once the pool
    // was torn down, every packet goes as soon as it is empty.
    if (packet == m_first && m_setUp)
        return;
    if (packet->capacity >= m_largestPacketElements)
        m_nextPacketElements = m_largestPacketElements;
    releasePacket(packet);
}

bool RegularAllocatorBase::newPacket()
{
    if ((m_flags & kFlagOnePacket) && m_first)
        return false;
    const std::size_t count = m_nextPacketElements;
    if (count == 0 || m_elementStride == 0)
        return false;
    const std::size_t extra = kPacketHeaderSize + ((m_flags & kFlagAlign32) ? 24 : 0);
    if (count > (std::numeric_limits<std::size_t>::max() - extra) / m_elementStride)
        return false;
    const std::size_t bytes = m_elementStride * count + extra;
    void* memory = allocatePacket(bytes);
    if (!memory)
        return false;

    auto* packet = static_cast<Packet*>(memory);
    appendTo<&Packet::prev, &Packet::next>(packet, m_first, m_last);
    appendFree(packet);
    packet->inUse = 0;
    packet->capacity = count;
    m_bytesInUse += bytes;

    auto* area = static_cast<unsigned char*>(memory) + kPacketHeaderSize;
    if (m_flags & kFlagAlign32) {
        const auto address = reinterpret_cast<std::uintptr_t>(area);
        area += roundUp(address, 32) - address;
    }
    // Threading in address order leaves the last element at the head, so it
    // is handed out first.
    void* head = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        void* slot = area + i * m_elementStride;
        slotWord(slot) = head;
        head = slot;
    }
    packet->freeHead = head;

    if (count > m_largestPacketElements)
        m_largestPacketElements = count;
    if (m_nextPacketElements >= m_largestPacketElements) {
        const std::size_t doubled = m_nextPacketElements > m_growthLimit / 2 ? m_growthLimit : m_nextPacketElements * 2;
        m_nextPacketElements = doubled < m_growthLimit ? doubled : m_growthLimit;
    }
    return true;
}

// The packets sit on two doubly linked lists: all packets, and those with free
// elements; these work on either through its pair of links.
template <auto Prev, auto Next, class P>
void RegularAllocatorBase::unlinkFrom(P* packet, P*& first, P*& last) noexcept
{
    if (packet->*Prev)
        (packet->*Prev)->*Next = packet->*Next;
    else
        first = packet->*Next;
    if (packet->*Next)
        (packet->*Next)->*Prev = packet->*Prev;
    else
        last = packet->*Prev;
    packet->*Prev = packet->*Next = nullptr;
}

template <auto Prev, auto Next, class P>
void RegularAllocatorBase::appendTo(P* packet, P*& first, P*& last) noexcept
{
    packet->*Next = nullptr;
    packet->*Prev = last;
    if (last)
        last->*Next = packet;
    else
        first = packet;
    last = packet;
}

void RegularAllocatorBase::releasePacket(Packet* packet) noexcept
{
    m_bytesInUse -= m_elementStride * packet->capacity + kPacketHeaderSize + ((m_flags & kFlagAlign32) ? 24 : 0);
    if (packet->freeHead)
        unlinkFree(packet);
    unlinkFrom<&Packet::prev, &Packet::next>(packet, m_first, m_last);
    deallocatePacket(packet);
}

void RegularAllocatorBase::unlinkFree(Packet* packet) noexcept
{
    unlinkFrom<&Packet::prevFree, &Packet::nextFree>(packet, m_firstFree, m_lastFree);
}

void RegularAllocatorBase::appendFree(Packet* packet) noexcept
{
    appendTo<&Packet::prevFree, &Packet::nextFree>(packet, m_firstFree, m_lastFree);
}

} // namespace DETAIL

namespace DA {

RegularAllocator::~RegularAllocator() = default;

void* RegularAllocator::allocate(int)
{
    CriticalSection::Guard guard(lock());
    return allocateUnlocked();
}

void RegularAllocator::deallocate(void* p) noexcept
{
    if (!p)
        return;
    CriticalSection::Guard guard(lock());
    deallocateUnlocked(p);
}

bool RegularAllocator::init(std::size_t elementSize, std::size_t firstPacketElements, std::size_t growthLimit,
                            std::uint32_t flags)
{
    CriticalSection::Guard guard(lock());
    return setUp(elementSize, firstPacketElements, growthLimit, flags);
}

void RegularAllocator::deInit()
{
    CriticalSection::Guard guard(lock());
    tearDown();
}

} // namespace DA

} // namespace QV::GP
