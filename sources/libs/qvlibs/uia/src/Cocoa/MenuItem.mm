#include "MenuItem.h"

#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/Menu.h>

#include "GNUstepHeaders.h"
#include "Menu.h"
#include "ObjCMethod.h"

using QV::UIA::COCOA::asIMP;

namespace {

objc_class* s_itemClass = Nil;

id itemInit(id self, SEL command)
{
    using Init = id (*)(id, SEL);
    const IMP init = class_getMethodImplementation(class_getSuperclass(reinterpret_cast<Class>(s_itemClass)), command);
    return reinterpret_cast<Init>(init)(self, command);
}

void itemClicked(id self, SEL, id)
{
    NSMenuItem* item = reinterpret_cast<NSMenuItem*>(self);
    const NSInteger tag = [item tag];
    if (tag == 0)
        return;
    QV::UIA::CommandEventData data;
    data.commandId = static_cast<std::uint32_t>(tag);
    QV::UIA::COCOA::Menu::processEvent([item menu], QV::UIA::kEventCommand, &data);
}

BOOL itemValidate(id self, SEL, id)
{
    NSMenuItem* item = reinterpret_cast<NSMenuItem*>(self);
    const NSInteger tag = [item tag];
    if (tag == 0)
        return YES;
    // A receiver that handles the question has set the item's state; one
    // that does not leaves the item enabled.
    QV::UIA::HMenu menu([item menu]);
    QV::UIA::MenuUpdateEventData data;
    data.commandId = static_cast<std::uint32_t>(tag);
    data.menu = &menu;
    if (!QV::UIA::COCOA::Menu::processEvent([item menu], QV::UIA::kEventCommandValidate, &data))
        return YES;
    return menu.getItemEnabledId(static_cast<int>(tag)) ? YES : NO;
}

struct MenuItemClassFactory {
    MenuItemClassFactory()
    {
        if (!factory.generateUniqueClass("ComVelmoraCocoaMenuItem", "NSMenuItem"))
            return;
        factory.addMethod(@selector(init), asIMP(itemInit), "@@:");
        factory.addMethod(@selector(onItemClicked:), asIMP(itemClicked), "v@:@");
        factory.addMethod(@selector(validateMenuItem:), asIMP(itemValidate), "c@:@");
        factory.doRegister();
    }
    QV::GP::OBJC::ClassFactory factory{s_itemClass};
} s_itemClassFactory;

} // namespace

namespace QV::UIA::COCOA {

void* MenuItem::create()
{
    // Every new item looks up the check mark and dash images.
    QV::UIA::Lib::preparePlatform();
    if (!s_itemClass)
        return nullptr;
    NSMenuItem* item = [[reinterpret_cast<Class>(s_itemClass) alloc] init];
    [item setTarget:item];
    [item setAction:@selector(onItemClicked:)];
    return item;
}

} // namespace QV::UIA::COCOA
