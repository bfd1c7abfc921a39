#pragma once

#include <pthread.h>

namespace QV::GP {

// The library's thread-specific key. init() runs twice on a normal start (the
// platform layer's module and Lib::init both call it); the second call does
// nothing.
//
// Key numbers start at 0 on Linux, so a key of 0 is a real key: whether one
// exists is kept in a flag of its own, and deInit() deletes key 0 as well.
// A key that cannot be created is not reported; hasKey() then answers false.
//
// Thread affinity: init and deInit on the main thread, before and after all
// other use.
class TLS
{
public:
    TLS() = delete;

    static void init() noexcept;
    static void deInit() noexcept;

    static bool isInit() noexcept { return m_bIsInit; }
    static bool hasKey() noexcept { return m_bKeyCreated; }
    // Meaningful only when hasKey() is true.
    static pthread_key_t key() noexcept { return m_aThreadFlagKey; }

private:
    static bool m_bIsInit;
    static bool m_bKeyCreated;
    static pthread_key_t m_aThreadFlagKey;
};

} // namespace QV::GP
