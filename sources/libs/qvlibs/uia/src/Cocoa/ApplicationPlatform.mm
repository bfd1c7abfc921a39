#include <QV/UIA/DisplayManager.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

#include <cmath>

namespace QV::UIA {

namespace {
bool s_displaysInitialized = false;
std::vector<GP::Rect>& screenList()
{
    static std::vector<GP::Rect> list;
    return list;
}
} // namespace

void DETAIL::postPlatformTerminate()
{
    // A nil NSApp (no platform application yet) ignores the request.
    [NSApp performSelector:@selector(terminate:) withObject:nil afterDelay:0.0];
}

void DETAIL::setPlatformMainMenu(void* nativeMenu)
{
    [NSApp setMainMenu:reinterpret_cast<NSMenu*>(nativeMenu)];
}

bool DisplayManager::init()
{
    if (!s_displaysInitialized) {
        s_displaysInitialized = true;
        auto& list = screenList();
        list.clear();
        // Screens exist only once the platform application is connected to
        // a display.
        if (NSApp) {
            NSArray* screens = [NSScreen screens];
            const NSRect primary = [screens count] ? [[screens objectAtIndex:0] frame] : NSZeroRect;
            const double top = primary.origin.y + primary.size.height;
            NSEnumerator* each = [screens objectEnumerator];
            while (NSScreen* screen = [each nextObject]) {
                const NSRect f = [screen frame];
                const auto left = static_cast<std::int32_t>(std::trunc(f.origin.x));
                const auto y = static_cast<std::int32_t>(std::trunc(top - (f.origin.y + f.size.height)));
                list.push_back({left, y, left + static_cast<std::int32_t>(f.size.width),
                                y + static_cast<std::int32_t>(f.size.height)});
            }
        }
    }
    return !screenList().empty();
}

void DisplayManager::deInit()
{
    if (!s_displaysInitialized)
        return;
    s_displaysInitialized = false;
    screenList().clear();
}

bool DisplayManager::isInitialized() noexcept
{
    return s_displaysInitialized;
}

const std::vector<GP::Rect>& DisplayManager::getScreens() noexcept
{
    return screenList();
}

} // namespace QV::UIA
