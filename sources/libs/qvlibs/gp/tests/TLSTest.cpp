#include <QV/GP/TLS.h>

#include <gtest/gtest.h>

#include <pthread.h>

// The sanitizer runtime takes key 0 for itself, so the key the library gets
// is steered through the linker's wrapping of the two key calls (see
// init.cmake): with s_giveKeyZero set, creation yields key 0 as a fresh
// process without a sanitizer would see it.
namespace {
bool s_giveKeyZero = false;
bool s_keyZeroAlive = false;
int s_keyZeroDeletes = 0;
bool s_failCreation = false;
} // namespace

extern "C" {
int __real_pthread_key_create(pthread_key_t* key, void (*destructor)(void*));
int __real_pthread_key_delete(pthread_key_t key);

int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*))
{
    if (s_failCreation)
        return EAGAIN;
    if (!s_giveKeyZero)
        return __real_pthread_key_create(key, destructor);
    *key = 0;
    s_keyZeroAlive = true;
    return 0;
}

int __wrap_pthread_key_delete(pthread_key_t key)
{
    if (!s_giveKeyZero)
        return __real_pthread_key_delete(key);
    if (key != 0 || !s_keyZeroAlive)
        return EINVAL;
    s_keyZeroAlive = false;
    ++s_keyZeroDeletes;
    return 0;
}
}

namespace {

using QV::GP::TLS;

class ThreadStorage : public ::testing::Test
{
protected:
    void TearDown() override
    {
        TLS::deInit();
        s_giveKeyZero = false;
        s_failCreation = false;
    }
};

TEST_F(ThreadStorage, KeyZeroIsARealKey)
{
    s_giveKeyZero = true;
    s_keyZeroDeletes = 0;
    TLS::init();
    EXPECT_TRUE(TLS::isInit());
    ASSERT_TRUE(TLS::hasKey());
    EXPECT_EQ(TLS::key(), 0u);

    TLS::init(); // the second start keeps the key
    EXPECT_TRUE(s_keyZeroAlive);

    TLS::deInit();
    EXPECT_FALSE(s_keyZeroAlive) << "key 0 was not deleted";
    EXPECT_EQ(s_keyZeroDeletes, 1);
    EXPECT_FALSE(TLS::hasKey());
    EXPECT_FALSE(TLS::isInit());

    TLS::deInit(); // nothing left to delete
    EXPECT_EQ(s_keyZeroDeletes, 1);
}

TEST_F(ThreadStorage, FailedCreationIsNotAKey)
{
    s_failCreation = true;
    TLS::init();
    EXPECT_TRUE(TLS::isInit());
    EXPECT_FALSE(TLS::hasKey());
    EXPECT_EQ(TLS::key(), 0u);
    TLS::deInit();
    EXPECT_FALSE(TLS::isInit());
}

TEST_F(ThreadStorage, RealKeyIsCreatedOnceAndDeleted)
{
    TLS::init();
    ASSERT_TRUE(TLS::hasKey());
    const pthread_key_t key = TLS::key();
    TLS::init();
    EXPECT_EQ(TLS::key(), key);
    int marker = 0;
    EXPECT_EQ(pthread_setspecific(key, &marker), 0);
    EXPECT_EQ(pthread_getspecific(key), &marker);
    TLS::deInit();
    // glibc hands out the lowest free key: the deleted one comes back.
    pthread_key_t again;
    ASSERT_EQ(pthread_key_create(&again, nullptr), 0);
    EXPECT_EQ(again, key);
    pthread_key_delete(again);
}

} // namespace
