#include <QV/UIA/CursorManager.h>

namespace QV::UIA {

namespace {
bool s_initialized = false;
bool s_hasDefaultCursors = false;
int s_registrationCount = 0;
// Where the open registration started in the custom list; -1 when none is
// open.
int s_openPosition = -1;
// The custom cursors (platform handles); none is made yet.
std::vector<void*>& customCursors()
{
    static std::vector<void*> list;
    return list;
}
} // namespace

bool CursorManager::isInitialized() noexcept
{
    return s_initialized;
}

void CursorManager::setInitialized(bool initialized) noexcept
{
    s_initialized = initialized;
}

CursorManager::RegistrationHandle CursorManager::beginRegistration()
{
    s_openPosition = static_cast<int>(customCursors().size());
    ++s_registrationCount;
    return {s_registrationCount, s_openPosition};
}

void CursorManager::endRegistration()
{
    s_openPosition = -1;
}

void CursorManager::unregister(const RegistrationHandle& handle)
{
    auto& list = customCursors();
    if (s_openPosition != -1 || handle.number != s_registrationCount || handle.position < 0
        || handle.position > static_cast<int>(list.size()))
        return;
    list.resize(static_cast<std::size_t>(handle.position));
    --s_registrationCount;
}

void CursorManager::registerDefaultCursors()
{
    s_hasDefaultCursors = true;
}

void CursorManager::destroyDefaultCursors()
{
    s_hasDefaultCursors = false;
}

bool CursorManager::hasDefaultCursors() noexcept
{
    return s_hasDefaultCursors;
}

int CursorManager::getRegistrationCount() noexcept
{
    return s_registrationCount;
}

} // namespace QV::UIA
