#include "MenuItem.h"

#include <QV/GP/OBJC/ClassFactory.h>
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

// GNUstep finds a named image by trying every file type its image classes
// read, in every library folder. With its ImageMagick class that is some 250
// types, and the check mark and dash every new menu item asks for are not
// files at all (the theme draws them), so each is first tried against all of
// them: about 30 ms per name, a third of the application's start-up. This
// layer decodes its own pictures and never has GNUstep read a file in a
// format only ImageMagick knows, so that class is taken out before the first
// item is made.
void keepImageLookupToNativeTypes()
{
    static const bool done = [] {
        Class magick = NSClassFromString(@"GSImageMagickImageRep");
        if (magick != Nil)
            [NSImageRep unregisterImageRepClass:magick];
        return true;
    }();
    (void)done;
}

} // namespace

namespace QV::UIA::COCOA {

void* MenuItem::create()
{
    keepImageLookupToNativeTypes();
    if (!s_itemClass)
        return nullptr;
    NSMenuItem* item = [[reinterpret_cast<Class>(s_itemClass) alloc] init];
    [item setTarget:item];
    [item setAction:@selector(onItemClicked:)];
    return item;
}

} // namespace QV::UIA::COCOA
