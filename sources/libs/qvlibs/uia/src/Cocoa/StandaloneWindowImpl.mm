#include "StandaloneWindowImpl.h"

#include <QV/UIA/EventData.h>

#include "GNUstepHeaders.h"
#include "Menu.h"

namespace QV::UIA::COCOA {

bool StandaloneWindowImpl::createWindowAndAttach(const WindowBase::CreateData& data, eWindowClass windowClass)
{
    if (!createWindow(data, windowClass, true))
        return false;
    // An in-window menu bar appears only for a window that has its menu
    // before it is first shown.
    Menu::attachMainMenuToWindow(m_window);
    m_fullScreenAllowed = !(data.style & WindowBase::kStyleFixedSize);
    if (m_fullScreenAllowed)
        [reinterpret_cast<NSWindow*>(m_window) setCollectionBehavior:NSWindowCollectionBehaviorFullScreenPrimary];
    return true;
}

void StandaloneWindowImpl::setFullScreenMode(const GP::Point&)
{
    if (m_window && !m_fullScreen)
        toggleFullScreen();
}

void StandaloneWindowImpl::resetFullScreenMode()
{
    if (m_window && m_fullScreen)
        toggleFullScreen();
}

void StandaloneWindowImpl::toggleFullScreen()
{
    NSWindow* window = reinterpret_cast<NSWindow*>(m_window);
    if (!m_fullScreen) {
        if (!m_fullScreenAllowed)
            return;
        NSScreen* screen = [window screen] ? [window screen] : [NSScreen mainScreen];
        if (!screen)
            return;
        const NSRect frame = [window frame];
        m_savedFrame[0] = frame.origin.x;
        m_savedFrame[1] = frame.origin.y;
        m_savedFrame[2] = frame.size.width;
        m_savedFrame[3] = frame.size.height;
        m_fullScreen = true;
        [window setFrame:[screen frame] display:YES];
    } else {
        m_fullScreen = false;
        [window setFrame:NSMakeRect(m_savedFrame[0], m_savedFrame[1], m_savedFrame[2], m_savedFrame[3])
                 display:YES];
    }
    EventData none;
    sendEvent(kEventWindowSized, &none, false);
}

} // namespace QV::UIA::COCOA
