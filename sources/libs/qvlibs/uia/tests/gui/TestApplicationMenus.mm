#include "TestApplicationMenus.h"

#include "Cocoa/GNUstepHeaders.h"

#include <cstdio>
#include <string>

namespace TestMenus {

namespace {

std::string describe(const char* kind, NSString* title, NSRect screenRect)
{
    const double screenHeight = [[[NSScreen screens] objectAtIndex:0] frame].size.height;
    char line[512];
    std::snprintf(line, sizeof line, "%s %s %d %d %d %d", kind, [title UTF8String], int(screenRect.origin.x),
                  int(screenHeight - screenRect.origin.y - screenRect.size.height), int(screenRect.size.width),
                  int(screenRect.size.height));
    return line;
}

NSRect onScreen(NSView* view, NSRect rect)
{
    NSRect inWindow = [view convertRect:rect toView:nil];
    inWindow.origin = [[view window] convertBaseToScreen:inWindow.origin];
    return inWindow;
}

// The menu views are NSMenuView objects, typed id here: GNUstep also has a
// protocol of that name.
id findMenuView(NSView* view)
{
    if ([view isKindOfClass:[NSMenuView class]])
        return view;
    NSEnumerator* each = [[view subviews] objectEnumerator];
    while (NSView* child = [each nextObject])
        if (id found = findMenuView(child))
            return found;
    return nil;
}

void describeItems(const char* kind, id view, std::vector<std::string>& lines)
{
    NSMenu* menu = [view menu];
    for (NSInteger i = 0; i < [menu numberOfItems]; ++i) {
        NSMenuItem* item = [menu itemAtIndex:i];
        if (![item isSeparatorItem])
            lines.push_back(describe(kind, [item title], onScreen(view, [view rectOfItemAtIndex:i])));
    }
}

void describeOpenMenus(NSMenu* menu, std::vector<std::string>& lines)
{
    for (NSInteger i = 0; i < [menu numberOfItems]; ++i) {
        NSMenu* submenu = [[menu itemAtIndex:i] submenu];
        if (!submenu)
            continue;
        id view = [submenu menuRepresentation];
        if ([view isKindOfClass:[NSMenuView class]] && [[view window] isVisible])
            describeItems("item", view, lines);
        describeOpenMenus(submenu, lines);
    }
}

} // namespace

void install(QV::UIA::Application& application)
{
    using QV::UIA::kModifierCommand;
    QV::UIA::HPopupMenu test;
    test.create(0);
    test.insertCommandAt(-1, std::string("&Say Hello"), static_cast<int>(kCommandHello), 0, kModifierCommand | 'E');
    test.insertCommandAt(-1, std::string("Not Now"), static_cast<int>(kCommandNotNow), 0, kModifierCommand | 'D');
    test.insertCommandAt(-1, std::string("Later"), static_cast<int>(kCommandLater), QV::UIA::HMenu::kItemDisabled,
                         kModifierCommand | 'L');
    test.insertCommandAt(-1, std::string("Settings"), static_cast<int>(QV::UIA::kCommandPreferences), 0, 0);
    test.insertCommandAt(-1, std::string("Quit"), static_cast<int>(QV::UIA::kCommandQuit), 0, 0);
    QV::UIA::HMenuBar bar;
    bar.create();
    bar.insertSubMenuAt(-1, std::string("&Test"), test);
    application.setMenu(bar);
}

bool validate(const QV::UIA::MenuUpdateEventData& data)
{
    if (data.commandId != kCommandNotNow || !data.menu)
        return false;
    NSMenu* menu = reinterpret_cast<NSMenu*>(data.menu->getNativeMenu());
    [[menu itemWithTag:static_cast<NSInteger>(kCommandNotNow)] setEnabled:NO];
    return true;
}

std::vector<std::string> positions()
{
    std::vector<std::string> lines;
    NSWindow* window = nil;
    NSEnumerator* each = [[NSApp windows] objectEnumerator];
    while (NSWindow* candidate = [each nextObject]) {
        if ([candidate menu] && [candidate isVisible]) {
            window = candidate;
            break;
        }
    }
    if (!window)
        return lines;
    id bar = findMenuView([[window contentView] superview]);
    if (!bar)
        return lines;
    lines.push_back(describe("window", @"-", [window frame]));
    describeItems("bar", bar, lines);
    describeOpenMenus([NSApp mainMenu], lines);
    return lines;
}

std::string commandName(unsigned command)
{
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8)
        name.push_back(static_cast<char>((command >> shift) & 0xff));
    return name;
}

} // namespace TestMenus
