#include <QV/GP/Registry.h>

#include <mutex>

namespace QV::GP {

namespace DETAIL {

struct Autolock
{
    static std::recursive_mutex s_mutex;
};

std::recursive_mutex Autolock::s_mutex;

} // namespace DETAIL

namespace {

Registry::Impl* s_pImpl = nullptr;

void shutDownLocked()
{
    if (s_pImpl == nullptr)
        return;
    s_pImpl->shutDown();
    delete s_pImpl;
    s_pImpl = nullptr;
}

} // namespace

bool Registry::get(const char* key, std::vector<std::string>& values, eGetMode mode)
{
    std::lock_guard<std::recursive_mutex> guard(DETAIL::Autolock::s_mutex);
    return s_pImpl != nullptr && s_pImpl->get(key, values, mode);
}

void Registry::setImpl(std::unique_ptr<Impl> impl)
{
    std::lock_guard<std::recursive_mutex> guard(DETAIL::Autolock::s_mutex);
    shutDownLocked();
    s_pImpl = impl.release();
}

bool Registry::deInit()
{
    std::lock_guard<std::recursive_mutex> guard(DETAIL::Autolock::s_mutex);
    shutDownLocked();
    return true;
}

} // namespace QV::GP
