#include "Menu.h"

#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/GP/OBJC/InstanceVariables.h>
#include <QV/UIA/Menu.h>

#include "GNUstepHeaders.h"
#include "ObjCMethod.h"

using QV::UIA::COCOA::asIMP;

namespace {

objc_class* s_menuClass = Nil;

constexpr const char* kTargetVariable = "pUIAEventTarget";

QV::UIA::EventTarget* targetOf(id menu)
{
    return reinterpret_cast<QV::UIA::EventTarget*>(QV::GP::OBJC::getIvarPtr(menu, kTargetVariable));
}

void setTargetOf(id menu, void* target)
{
    QV::GP::OBJC::setIvarPtr(menu, kTargetVariable, reinterpret_cast<id>(target));
}

// The superclass's init, named through the built class: a method of a built
// class cannot name its superclass at compile time.
id superInit(id self)
{
    using Init = id (*)(id, SEL);
    const IMP init = class_getMethodImplementation(class_getSuperclass(reinterpret_cast<Class>(s_menuClass)),
                                                   @selector(init));
    return reinterpret_cast<Init>(init)(self, @selector(init));
}

id menuInit(id self, SEL)
{
    setTargetOf(self, nullptr);
    return superInit(self);
}

id menuInitWithTarget(id self, SEL, void* target)
{
    setTargetOf(self, target);
    self = superInit(self);
    // The superclass may hand back another object than the one allocated.
    if (self)
        setTargetOf(self, target);
    return self;
}

void menuSetTarget(id self, SEL, void* target)
{
    setTargetOf(self, target);
}

BOOL menuProcessEvent(id self, SEL, unsigned code, void* data)
{
    return QV::UIA::COCOA::Menu::processEvent(self, code, static_cast<QV::UIA::EventData*>(data)) ? YES : NO;
}

void menuWillOpen(id self, SEL, NSMenu*)
{
    QV::UIA::HMenu opening(self);
    QV::UIA::MenuUpdateEventData data;
    data.commandId = 0xFFFFFFFFu;
    data.menu = &opening;
    QV::UIA::COCOA::Menu::processEvent(self, QV::UIA::kEventMenuWillOpen, &data);
}

// GNUstep never tells a menu's delegate that the menu opens; it shows a menu
// through display (attached below its item) or displayTransient (for a
// moment). The will-open event is sent from there, before the menu appears.
void menuDisplay(id self, SEL command)
{
    menuWillOpen(self, command, self);
    using Display = void (*)(id, SEL);
    const IMP display = class_getMethodImplementation(class_getSuperclass(reinterpret_cast<Class>(s_menuClass)),
                                                      command);
    reinterpret_cast<Display>(reinterpret_cast<void (*)()>(display))(self, command);
}

struct MenuClassFactory {
    MenuClassFactory()
    {
        if (!factory.generateUniqueClass("ComVelmoraCocoaMenu", "NSMenu"))
            return;
        factory.addMemberVar(kTargetVariable, sizeof(void*), 3, "^v");
        factory.addMethod(@selector(init), asIMP(menuInit), "@@:");
        factory.addMethod(@selector(initWithUIAEventTarget:), asIMP(menuInitWithTarget), "@@:^v");
        factory.addMethod(@selector(setUIAEventTarget:), asIMP(menuSetTarget), "v@:^v");
        factory.addMethod(@selector(processUIAEvent:withData:), asIMP(menuProcessEvent), "c@:I^v");
        factory.addMethod(@selector(menuWillOpen:), asIMP(menuWillOpen), "v@:@");
        factory.addMethod(@selector(display), asIMP(menuDisplay), "v@:");
        factory.addMethod(@selector(displayTransient), asIMP(menuDisplay), "v@:");
        factory.doRegister();
    }
    QV::GP::OBJC::ClassFactory factory{s_menuClass};
} s_menuClassFactory;

} // namespace

namespace QV::UIA::COCOA {

void* Menu::create(EventTarget* target)
{
    if (!s_menuClass)
        return nullptr;
    id menu = menuInitWithTarget([reinterpret_cast<Class>(s_menuClass) alloc], @selector(initWithUIAEventTarget:),
                                 target);
    [reinterpret_cast<NSMenu*>(menu) setDelegate:menu];
    return menu;
}

bool Menu::isLayerMenu(void* menu)
{
    return menu && s_menuClass && [reinterpret_cast<id>(menu) isKindOfClass:reinterpret_cast<Class>(s_menuClass)];
}

bool Menu::processEvent(void* menu, unsigned code, EventData* data)
{
    // Up the chain to the first menu with a target. A menu of another class
    // has no target and knows no events: the chain ends there.
    for (NSMenu* current = reinterpret_cast<NSMenu*>(menu); isLayerMenu(current); current = [current supermenu]) {
        if (EventTarget* target = targetOf(current))
            return target->sendEvent(code, data);
    }
    return false;
}

void Menu::chooseMenuStyle()
{
    NSDictionary* style = [NSDictionary dictionaryWithObject:@"NSWindows95InterfaceStyle"
                                                      forKey:@"NSMenuInterfaceStyle"];
    NSUserDefaults* defaults = [NSUserDefaults standardUserDefaults];
    if ([defaults objectForKey:@"NSMenuInterfaceStyle"])
        return;
    [defaults registerDefaults:style];
    // The platform keeps the styles it has looked up already and forgets
    // them only when told that the defaults changed.
    [[NSNotificationCenter defaultCenter] postNotificationName:NSUserDefaultsDidChangeNotification object:defaults];
}

void Menu::attachMainMenuToWindow(void* window)
{
    if (!window || NSInterfaceStyleForKey(@"NSMenuInterfaceStyle", nil) != NSWindows95InterfaceStyle)
        return;
    if (NSMenu* main = [NSApp mainMenu])
        [reinterpret_cast<NSWindow*>(window) setMenu:main];
}

} // namespace QV::UIA::COCOA
