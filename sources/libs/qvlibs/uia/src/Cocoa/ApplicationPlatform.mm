#include <QV/UIA/Menu.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

namespace QV::UIA {

void DETAIL::postPlatformTerminate()
{
    // A nil NSApp (no platform application yet) ignores the request.
    [NSApp performSelector:@selector(terminate:) withObject:nil afterDelay:0.0];
}

void DETAIL::setPlatformMainMenu(void* nativeMenu)
{
    [NSApp setMainMenu:reinterpret_cast<NSMenu*>(nativeMenu)];
}

std::map<unsigned, int>& HMenu::shortcuts()
{
    static std::map<unsigned, int> table;
    return table;
}

void HMenuBar::create()
{
    NSMenu* menu = [[NSMenu alloc] initWithTitle:@"MainMenu"];
    m_nativeMenu = menu;
}

} // namespace QV::UIA
