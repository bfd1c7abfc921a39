#include <QV/GP/Authentication.h>

#include <QV/GP/CriticalSection.h>

#include <unistd.h>

namespace QV::GP {

bool Authentication::s_bInited = false;
bool Authentication::s_bProcessElevated = false;

namespace DETAIL {
CriticalSection* s_critSection = nullptr;
}

bool Authentication::init()
{
    s_bProcessElevated = geteuid() == 0 && getuid() == 0;
    if (s_bInited)
        return false;
    if (DETAIL::s_critSection == nullptr) {
        DETAIL::s_critSection = CriticalSection::allocate();
        // Without its lock the record would later be used unguarded: report
        // the failure instead of starting half-way.
        if (DETAIL::s_critSection == nullptr)
            return false;
    }
    s_bInited = true;
    return true;
}

void Authentication::deInit()
{
    if (!s_bInited)
        return;
    CriticalSection::release(DETAIL::s_critSection);
    DETAIL::s_critSection = nullptr;
    s_bInited = false;
}

} // namespace QV::GP
