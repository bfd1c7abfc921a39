#include <QV/GP/CriticalSection.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using QV::GP::CriticalSection;

namespace {

TEST(CriticalSection, RecursionIsCountedAndOwnerIsTheEnteringThread)
{
    CriticalSection lock;
    EXPECT_TRUE(lock.isSemaphoreCreated());
    EXPECT_EQ(lock.owner(), 0u);

    lock.enter();
    lock.enter();
    lock.enter();
    EXPECT_TRUE(lock.isOwnedByCurrentThread());
    EXPECT_EQ(lock.recursionCount(), 3u);

    // Another thread sees the owner, and that it is not itself.
    CriticalSection::ThreadId seenOwner = 0;
    bool seenOwnedBySelf = true;
    std::thread([&] {
        seenOwner = lock.owner();
        seenOwnedBySelf = lock.isOwnedByCurrentThread();
    }).join();
    EXPECT_EQ(seenOwner, CriticalSection::currentThreadId());
    EXPECT_FALSE(seenOwnedBySelf);

    lock.leave();
    lock.leave();
    EXPECT_EQ(lock.recursionCount(), 1u);
    EXPECT_TRUE(lock.isOwnedByCurrentThread());
    lock.leave();
    EXPECT_EQ(lock.owner(), 0u);
    EXPECT_EQ(lock.recursionCount(), 0u);
}

// A thread that entered three times keeps the lock until its third leave,
// however long a contender has been waiting.
TEST(CriticalSection, ContenderWaitsForTheLastLeave)
{
    CriticalSection lock;
    std::atomic<bool> contenderTrying{false};
    std::atomic<bool> contenderInside{false};

    lock.enter();
    lock.enter();
    lock.enter();
    std::thread contender([&] {
        contenderTrying = true;
        CriticalSection::Guard guard(lock);
        contenderInside = true;
    });
    while (!contenderTrying)
        std::this_thread::yield();
    // Give the contender time to reach the semaphore; the checks below hold
    // whether or not it got there.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    lock.leave();
    lock.leave();
    EXPECT_FALSE(contenderInside);
    EXPECT_TRUE(lock.isOwnedByCurrentThread());
    lock.leave();
    contender.join();
    EXPECT_TRUE(contenderInside);
    EXPECT_EQ(lock.owner(), 0u);
}

TEST(CriticalSection, ManyThreadsExcludeEachOther)
{
    CriticalSection lock;
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    long counter = 0; // deliberately not atomic: the lock protects it
    int inside = 0;
    std::atomic<bool> overlapped{false};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                CriticalSection::Guard outer(lock);
                CriticalSection::Guard inner(lock);
                if (++inside != 1)
                    overlapped = true;
                ++counter;
                --inside;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(counter, long(kThreads) * kRounds);
    EXPECT_EQ(lock.owner(), 0u);
}

TEST(CriticalSection, HeapHandsOutWorkingLocksAndSurvivesRestart)
{
    ASSERT_TRUE(CriticalSection::staticInit());
    std::vector<CriticalSection*> locks;
    for (int i = 0; i < 100; ++i) { // more than the first packet holds
        CriticalSection* lock = CriticalSection::allocate();
        ASSERT_NE(lock, nullptr);
        EXPECT_TRUE(lock->isSemaphoreCreated());
        locks.push_back(lock);
    }
    locks[42]->enter();
    EXPECT_TRUE(locks[42]->isOwnedByCurrentThread());
    EXPECT_EQ(locks[43]->owner(), 0u);
    locks[42]->leave();
    for (CriticalSection* lock : locks)
        CriticalSection::release(lock);
    CriticalSection::release(nullptr);

    CriticalSection::staticDeInit();
    CriticalSection::staticDeInit(); // a second stop does nothing
    ASSERT_TRUE(CriticalSection::staticInit());
    CriticalSection* again = CriticalSection::allocate();
    EXPECT_NE(again, nullptr);
    CriticalSection::release(again);
    CriticalSection::staticDeInit();
}

} // namespace
