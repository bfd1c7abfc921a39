#pragma once

#include <atomic>
#include <cstdint>

#include <semaphore.h>

namespace QV::GP {

namespace DA {
class RegularAllocator;
}

// A recursive lock that never enters the kernel while only one thread wants
// it: the semaphore is touched only when a second thread contends.
//
// The owner may enter again any number of times and must leave as often as it
// entered before another thread gets the lock. The semaphore is created by the
// constructor; the start-up and shut-down of the process-wide locks destroy and
// re-create it explicitly, so createSemaphore() and destroySemaphore() exist for
// them. A lock must not be contended while its semaphore is destroyed.
//
// Objects for services that need a lock of their own come from the shared heap
// (allocate() and release()); the block allocator embeds one directly.
//
// Thread affinity: any thread. enter() and leave() never fail.
class CriticalSection
{
public:
    // Identity of a thread as the lock records it; 0 means no thread.
    using ThreadId = std::uintptr_t;

    CriticalSection() noexcept;
    ~CriticalSection();

    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() noexcept;
    void leave() noexcept;

    // The semaphore's life, for locks that live longer than the library's
    // start-up and shut-down. Both are idempotent.
    bool createSemaphore() noexcept;
    void destroySemaphore() noexcept;
    bool isSemaphoreCreated() const noexcept { return m_bSemaphoreCreated; }

    // The owner is read by other threads (to decide whether they must wait),
    // so it is atomic; the recursion count is meaningful only to the owner.
    ThreadId owner() const noexcept { return m_owner.load(std::memory_order_acquire); }
    bool isOwnedByCurrentThread() const noexcept { return owner() == currentThreadId(); }
    std::uint32_t recursionCount() const noexcept { return m_recursion; }

    static ThreadId currentThreadId() noexcept;

    // Enters on construction and leaves on destruction.
    class Guard
    {
    public:
        explicit Guard(CriticalSection& lock) noexcept : m_lock(lock) { m_lock.enter(); }
        ~Guard() { m_lock.leave(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CriticalSection& m_lock;
    };

    // The heap of lock objects. staticInit() answers false only when the
    // heap's first packet cannot be had; staticDeInit() gives the packets
    // back and may be called when staticInit() never ran.
    static bool staticInit();
    static void staticDeInit();

    // A lock object from the heap, constructed (its semaphore created), or
    // null when the heap has no memory left. release() takes null.
    static CriticalSection* allocate() noexcept;
    static void release(CriticalSection* lock) noexcept;

    static DA::RegularAllocator s_heap;

private:
    void waitForHandOver() noexcept;

    sem_t m_semaphore;
    std::atomic<ThreadId> m_owner{0};
    std::uint32_t m_recursion = 0;
    std::atomic<std::int32_t> m_contention{0};
    bool m_bSemaphoreCreated = false;
};

} // namespace QV::GP
