#include <QV/GP/StringUtil.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/Menu.h>

#include "GNUstepHeaders.h"
#include "Menu.h"
#include "MenuItem.h"

namespace QV::UIA {

namespace {

NSMenu* nativeMenu(void* menu)
{
    return reinterpret_cast<NSMenu*>(menu);
}

NSString* platformTitle(const GP::CharSequence<char>& title)
{
    const std::u16string text = GP::details::utf_to_utf<char16_t, char, true>::apply(DETAIL::menuTitleText(title));
    return [NSString stringWithCharacters:reinterpret_cast<const unichar*>(text.data()) length:text.size()];
}

// An index the native menu accepts: negative appends, and one past the end
// is taken as the end, since the platform throws on it.
NSInteger insertionIndex(NSMenu* menu, int index)
{
    const NSInteger count = [menu numberOfItems];
    return (index < 0 || index > count) ? count : index;
}

NSString* localized(NSString* key)
{
    return [[NSBundle mainBundle] localizedStringForKey:key value:@"" table:nil];
}

NSString* bundleName()
{
    id name = [[[NSBundle mainBundle] infoDictionary] objectForKey:@"CFBundleName"];
    return ([name isKindOfClass:[NSString class]] && [name length]) ? name : nil;
}

// The application menu is titled with the application's name, as the user
// knows it; a program without a named bundle goes by its process name. On
// GNUstep the in-window bar takes the item of that title as its own
// application item instead of adding a second, empty one.
NSString* applicationMenuTitle()
{
    NSString* name = bundleName();
    return name ? name : [[NSProcessInfo processInfo] processName];
}

// "About", "Hide" and "Quit" are followed by the application's name; a
// bundle without a name gives the word alone.
NSString* withApplicationName(NSString* key)
{
    NSString* name = bundleName();
    if (!name)
        return localized(key);
    return [NSString stringWithFormat:@"%@ %@", localized(key), name];
}

NSMenuItem* newCommandItem(NSString* title, int command, NSString* keyEquivalent)
{
    NSMenuItem* item = reinterpret_cast<NSMenuItem*>(COCOA::MenuItem::create());
    [item setTitle:title];
    [item setTag:command];
    [item setKeyEquivalent:keyEquivalent];
    return item;
}

void addPlatformItem(NSMenu* menu, NSString* title, SEL action, NSString* keyEquivalent)
{
    NSMenuItem* item = [menu addItemWithTitle:title action:action keyEquivalent:keyEquivalent];
    [item setTarget:NSApp];
}

NSMenu* buildApplicationMenu()
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    NSMenu* menu = reinterpret_cast<NSMenu*>(COCOA::Menu::create(nullptr));
    [menu setTitle:applicationMenuTitle()];

    NSMenuItem* about = newCommandItem(withApplicationName(@"About"), static_cast<int>(kCommandAbout), @"");
    [menu addItem:about];
    [about release];
    [menu addItem:[NSMenuItem separatorItem]];

    NSMenu* services = [[NSMenu alloc] initWithTitle:@"Services"];
    NSMenuItem* servicesItem = [menu addItemWithTitle:localized(@"Services") action:nullptr keyEquivalent:@""];
    [menu setSubmenu:services forItem:servicesItem];
    [NSApp setServicesMenu:services];
    [services release];
    [menu addItem:[NSMenuItem separatorItem]];

    addPlatformItem(menu, withApplicationName(@"Hide"), @selector(hide:), @"h");
    addPlatformItem(menu, localized(@"Hide Others"), @selector(hideOtherApplications:), @"h");
    [[menu itemAtIndex:[menu numberOfItems] - 1] setKeyEquivalentModifierMask:0x180000];
    addPlatformItem(menu, localized(@"Show All"), @selector(unhideAllApplications:), @"");
    [menu addItem:[NSMenuItem separatorItem]];

    NSMenuItem* quit = newCommandItem(withApplicationName(@"Quit"), static_cast<int>(kCommandQuit), @"q");
    [menu addItem:quit];
    [quit release];
    [pool release];
    return menu;
}

NSMenu* applicationMenu()
{
    // Built on first use and kept for the life of the process.
    static NSMenu* menu = buildApplicationMenu();
    return menu;
}

// The preferences item goes into the application menu, after About and a
// separator of its own.
void insertPreferencesItem(const GP::CharSequence<char>& title)
{
    NSMenu* menu = applicationMenu();
    [menu insertItem:[NSMenuItem separatorItem] atIndex:insertionIndex(menu, 2)];
    NSMenuItem* item = newCommandItem(platformTitle(title), static_cast<int>(kCommandPreferences), @",");
    [menu insertItem:item atIndex:insertionIndex(menu, 2)];
    [item release];
}

} // namespace

int HMenu::insertCommandAt(int index, const GP::CharSequence<char>& title, int command, unsigned flags,
                           unsigned shortcut)
{
    NSMenu* menu = nativeMenu(m_nativeMenu);
    if (index < 0)
        index = static_cast<int>([menu numberOfItems]);
    const auto commandId = static_cast<unsigned>(command);
    if (commandId == kCommandQuit || commandId == kCommandAbout) {
        // The application menu has both already.
        DETAIL::recordShortcut(command, shortcut);
        return index;
    }
    if (commandId == kCommandPreferences) {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        insertPreferencesItem(title);
        [pool release];
        DETAIL::recordShortcut(command, shortcut);
        return index;
    }
    if (!menu)
        return -1;

    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    NSMenuItem* item = reinterpret_cast<NSMenuItem*>(COCOA::MenuItem::create());
    [item setTitle:platformTitle(title)];
    [item setTag:command];
    [item setEnabled:(flags & kItemDisabled) ? NO : YES];
    [item setState:(flags & kItemChecked) ? NSOnState : NSOffState];
    if (shortcut != 0) {
        const DETAIL::KeyEquivalent key = DETAIL::keyEquivalentOf(shortcut);
        const unichar character = key.character;
        [item setKeyEquivalent:character ? [NSString stringWithCharacters:&character length:1] : @""];
        [item setKeyEquivalentModifierMask:key.modifierMask];
        DETAIL::recordShortcut(command, shortcut);
    }
    [menu insertItem:item atIndex:insertionIndex(menu, index)];
    [item release];
    [pool release];
    return index;
}

int HMenu::insertSubMenuAt(int index, const GP::CharSequence<char>& title, const HPopupMenu& popup)
{
    NSMenu* menu = nativeMenu(m_nativeMenu);
    NSMenu* submenu = nativeMenu(popup.getNativeMenu());
    if (!menu || !submenu || [submenu numberOfItems] == 0)
        return -1;
    // A menu hangs below one item only; the platform refuses a second.
    if ([submenu supermenu])
        return -1;
    if (index < 0)
        index = static_cast<int>([menu numberOfItems]);
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    NSString* text = platformTitle(title);
    NSMenuItem* item = reinterpret_cast<NSMenuItem*>(COCOA::MenuItem::create());
    [item setTitle:text];
    [submenu setTitle:text];
    [item setSubmenu:submenu];
    [menu insertItem:item atIndex:insertionIndex(menu, index)];
    [item release];
    [pool release];
    return index;
}

bool HMenu::getItemEnabledId(int command) const
{
    NSMenuItem* item = [nativeMenu(m_nativeMenu) itemWithTag:command];
    return item && [item isEnabled];
}

void HMenuBar::create()
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    COCOA::Menu::chooseMenuStyle();
    NSMenu* menu = reinterpret_cast<NSMenu*>(COCOA::Menu::create(Application::getApplication()));
    [menu setTitle:@"MainMenu"];
    NSMenu* appMenu = applicationMenu();
    NSMenuItem* item = reinterpret_cast<NSMenuItem*>(COCOA::MenuItem::create());
    [item setTitle:applicationMenuTitle()];
    // The shared application menu hangs below the newest bar only.
    if (NSMenu* previous = [appMenu supermenu]) {
        const NSInteger at = [previous indexOfItemWithSubmenu:appMenu];
        if (at >= 0)
            [[previous itemAtIndex:at] setSubmenu:nil];
    }
    [item setSubmenu:appMenu];
    [menu addItem:item];
    [item release];
    if ([NSApp respondsToSelector:@selector(setAppleMenu:)])
        [NSApp performSelector:@selector(setAppleMenu:) withObject:appMenu];
    m_nativeMenu = menu;
    [pool release];
}

HMenu HMenuBar::getApplicationMenu()
{
    return HMenu(applicationMenu());
}

void HPopupMenu::create(int)
{
    m_nativeMenu = COCOA::Menu::create(nullptr);
}

} // namespace QV::UIA
