#include "Common/MessageAlert.h"

#include "Cocoa/GNUstepHeaders.h"

#include <cstdlib>

#include <sys/syscall.h>
#include <unistd.h>

namespace QV::GP::DETAIL {

namespace {

NSString* toNSString(const std::string& text)
{
    // The text is well-formed UTF-8 already, so this does not fail.
    NSString* string = [NSString stringWithUTF8String:text.c_str()];
    return string ? string : @"";
}

} // namespace

bool canRunAlert()
{
    // GNUstep's X11 back end needs a display; without one the first window
    // would end the process. A modal alert belongs to the main thread, which
    // on Linux is the thread whose id is the process id.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    if (syscall(SYS_gettid) != getpid())
        return false;
    return [NSThread isMainThread];
}

Message::eButton runAlert(const AlertRequest& request)
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    [NSApplication sharedApplication];
    NSAlert* alert = [[NSAlert alloc] init];
    [alert setMessageText:toNSString(request.title)];
    [alert setInformativeText:toNSString(request.text)];
    // The alert builds its panel only when it runs, from each button's title,
    // tag and key equivalent, so the key equivalents decide which button
    // Return and Escape press.
    for (std::size_t i = 0; i < request.buttons.size(); ++i) {
        NSButton* button = [alert addButtonWithTitle:toNSString(request.buttons[i].title)];
        [button setTag:request.buttons[i].tag];
        // NSAlert gives Return to its first button; only the requested
        // default may have it. The Escape it gives a Cancel button stays, so
        // that Escape cancels rather than confirms.
        if (static_cast<int>(i) == request.defaultIndex)
            [button setKeyEquivalent:@"\r"];
        else if ([[button keyEquivalent] isEqualToString:@"\r"])
            [button setKeyEquivalent:@""];
    }
    if (request.style >= 0)
        [alert setAlertStyle:(NSAlertStyle)request.style];
    const NSInteger pressed = [alert runModal];
    [alert release];
    [pool release];

    // GNUstep answers the pressed button's tag; an answer counted from
    // NSAlertFirstButtonReturn is mapped back to the button's tag.
    for (const AlertButton& button : request.buttons)
        if (pressed == button.tag)
            return button.tag;
    const NSInteger index = pressed - NSAlertFirstButtonReturn;
    if (index >= 0 && index < static_cast<NSInteger>(request.buttons.size()))
        return request.buttons[static_cast<std::size_t>(index)].tag;
    // Escape closes a box without a Cancel button and presses none; then the
    // default stands, as it does where no box can be shown.
    return request.defaultIndex >= 0 ? request.buttons[static_cast<std::size_t>(request.defaultIndex)].tag
                                     : Message::eButtonNone;
}

} // namespace QV::GP::DETAIL
