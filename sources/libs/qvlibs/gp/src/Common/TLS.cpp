#include <QV/GP/TLS.h>

namespace QV::GP {

bool TLS::m_bIsInit = false;
bool TLS::m_bKeyCreated = false;
pthread_key_t TLS::m_aThreadFlagKey = 0;

void TLS::init() noexcept
{
    if (m_bIsInit)
        return;
    pthread_key_t key;
    m_bKeyCreated = pthread_key_create(&key, nullptr) == 0;
    m_aThreadFlagKey = m_bKeyCreated ? key : 0;
    m_bIsInit = true;
}

void TLS::deInit() noexcept
{
    if (m_bKeyCreated)
        pthread_key_delete(m_aThreadFlagKey);
    m_bKeyCreated = false;
    m_aThreadFlagKey = 0;
    m_bIsInit = false;
}

} // namespace QV::GP
