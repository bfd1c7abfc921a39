#include "Common/MessageAlert.h"

#include "Cocoa/GNUstepHeaders.h"

#include <cstdlib>
#include <utility>

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

// The alert runAlert runs now, the innermost where one opens another, and
// how closeAlert ended it.
struct RunningAlert
{
    bool closed = false;
    Message::eButton answer = Message::eButtonNone;
};

RunningAlert* s_running = nullptr;

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
    RunningAlert running;
    RunningAlert* const outer = std::exchange(s_running, &running);
    const NSInteger pressed = [alert runModal];
    s_running = outer;
    [alert release];
    [pool release];
    if (running.closed)
        return running.answer;

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

bool closeAlert(Message::eButton answer)
{
    if (![NSThread isMainThread] || !s_running || s_running->closed || [NSApp modalWindow] == nil)
        return false;
    s_running->closed = true;
    s_running->answer = answer;
    [NSApp stopModalWithCode:NSRunStoppedResponse];
    // The modal loop looks at the stop only once it has an event in hand: it
    // may be waiting for one, as it does when the stop comes from a timer.
    // An event of no window wakes it and is dropped.
    NSEvent* wake = [NSEvent otherEventWithType:NSApplicationDefined
                                       location:NSZeroPoint
                                  modifierFlags:0
                                      timestamp:0
                                   windowNumber:0
                                        context:nil
                                        subtype:0
                                          data1:0
                                          data2:0];
    [NSApp postEvent:wake atStart:NO];
    return true;
}

} // namespace QV::GP::DETAIL
