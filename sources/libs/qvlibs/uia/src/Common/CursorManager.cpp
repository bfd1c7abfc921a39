#include <QV/UIA/CursorManager.h>

#include "PlatformHooks.h"

#include <array>
#include <vector>

namespace QV::UIA {

namespace {
bool s_initialized = false;
bool s_hasDefaultCursors = false;
std::array<void*, CursorManager::kStandardCursorCount> s_standard{};
int s_registrationCount = 0;
// Where the open registration started in the custom list; -1 when none is
// open.
int s_openPosition = -1;
// The custom cursors (platform handles), owned.
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
    for (std::size_t i = static_cast<std::size_t>(handle.position); i < list.size(); ++i)
        DETAIL::releasePlatformCursor(list[i]);
    list.resize(static_cast<std::size_t>(handle.position));
    --s_registrationCount;
}

void CursorManager::registerDefaultCursors()
{
    if (s_hasDefaultCursors)
        return;
    // The platform cursors are looked up on first use: the library can start
    // before the platform application has a display.
    s_standard.fill(nullptr);
    s_hasDefaultCursors = true;
}

void CursorManager::destroyDefaultCursors()
{
    if (!s_hasDefaultCursors)
        return;
    // Only the blank cursor is the layer's own; the others are shared.
    if (s_standard[kCursorBlank])
        DETAIL::releasePlatformCursor(s_standard[kCursorBlank]);
    s_standard.fill(nullptr);
    s_hasDefaultCursors = false;
}

void* CursorManager::getStandardCursor(int index)
{
    if (index < 0 || index >= kStandardCursorCount || !s_hasDefaultCursors)
        return nullptr;
    void*& cursor = s_standard[static_cast<std::size_t>(index)];
    if (!cursor)
        cursor = DETAIL::platformStandardCursor(index);
    return cursor;
}

bool CursorManager::registerCustomCursor(void* cursor)
{
    if (s_openPosition == -1 || !cursor)
        return false;
    customCursors().push_back(cursor);
    return true;
}

int CursorManager::getCustomCursorCount() noexcept
{
    return static_cast<int>(customCursors().size());
}

void CursorManager::setSystemCursor(void* cursor)
{
    DETAIL::setPlatformCursor(cursor ? cursor : getStandardCursor(kCursorArrow));
}

void CursorManager::resetSystemCursor()
{
    DETAIL::setPlatformCursor(getStandardCursor(kCursorArrow));
}

void CursorManager::setCursorPos(const GP::Point& position)
{
    DETAIL::movePlatformPointer(static_cast<float>(position.x), static_cast<float>(position.y));
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
