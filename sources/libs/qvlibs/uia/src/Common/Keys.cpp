#include <QV/UIA/DETAIL/Keys.h>

namespace QV::UIA::DETAIL {

namespace {
bool s_initialized = false;
}

bool Keys::init()
{
    s_initialized = true;
    return true;
}

bool Keys::isInitialized() noexcept
{
    return s_initialized;
}

std::map<unsigned, unsigned>& Keys::uiaToPlatformMap()
{
    static std::map<unsigned, unsigned> map;
    return map;
}

void Keys::clearUIAToPlatformMap() noexcept
{
    uiaToPlatformMap().clear();
}

} // namespace QV::UIA::DETAIL
