#include <QV/GP/CriticalSection.h>

#include <QV/GP/RegularAllocator.h>

#include <cerrno>
#include <new>

#include <pthread.h>

namespace QV::GP {

namespace {

// The heap hands out elements of exactly one lock object; its first packet and
// its growth follow the library's fixed settings.
constexpr std::size_t kHeapFirstPacketElements = 40;
constexpr std::size_t kHeapGrowthLimit = 512;

} // namespace

DA::RegularAllocator CriticalSection::s_heap("CriticalSection");

CriticalSection::CriticalSection() noexcept
{
    createSemaphore();
}

CriticalSection::~CriticalSection()
{
    destroySemaphore();
}

CriticalSection::ThreadId CriticalSection::currentThreadId() noexcept
{
    // glibc's pthread_t is the address of the thread's control block, never 0.
    return static_cast<ThreadId>(pthread_self());
}

bool CriticalSection::createSemaphore() noexcept
{
    if (!m_bSemaphoreCreated)
        m_bSemaphoreCreated = sem_init(&m_semaphore, 0, 0) == 0;
    return m_bSemaphoreCreated;
}

void CriticalSection::destroySemaphore() noexcept
{
    if (m_bSemaphoreCreated) {
        sem_destroy(&m_semaphore);
        m_bSemaphoreCreated = false;
    }
}

void CriticalSection::waitForHandOver() noexcept
{
    // A signal handler may interrupt the wait; the hand-over is still owed.
    while (sem_wait(&m_semaphore) != 0 && errno == EINTR) {
    }
}

void CriticalSection::enter() noexcept
{
    const ThreadId self = currentThreadId();
    // Only this thread can have stored its own identity, so a relaxed look is
    // enough to recognise re-entry.
    if (m_owner.load(std::memory_order_relaxed) == self) {
        ++m_recursion;
        return;
    }
    if (m_contention.fetch_add(1, std::memory_order_acq_rel) > 0)
        waitForHandOver();
    m_owner.store(self, std::memory_order_release);
    m_recursion = 1;
}

void CriticalSection::leave() noexcept
{
    if (m_recursion >= 2) {
        --m_recursion;
        return;
    }
    m_recursion = 0;
    m_owner.store(0, std::memory_order_release);
    if (m_contention.fetch_sub(1, std::memory_order_acq_rel) >= 2)
        sem_post(&m_semaphore);
}

bool CriticalSection::staticInit()
{
    s_heap.createLock();
    // A heap without its first packet could not give the services their
    // locks; start-up is told so instead of failing later.
    if (!s_heap.isSetUp())
        return s_heap.init(sizeof(CriticalSection), kHeapFirstPacketElements, kHeapGrowthLimit, 0);
    return true;
}

void CriticalSection::staticDeInit()
{
    if (s_heap.isSetUp())
        s_heap.deInit();
    if (s_heap.isLockCreated())
        s_heap.destroyLock();
}

CriticalSection* CriticalSection::allocate() noexcept
{
    static_assert(alignof(CriticalSection) <= 8, "heap elements are 8-byte aligned");
    void* memory = nullptr;
    try {
        memory = s_heap.allocate();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return new (memory) CriticalSection();
}

void CriticalSection::release(CriticalSection* lock) noexcept
{
    if (lock == nullptr)
        return;
    lock->~CriticalSection();
    s_heap.deallocate(lock);
}

} // namespace QV::GP
