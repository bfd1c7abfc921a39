// Shows one window titled "Key Probe" whose view prints every key down as
// "down KEYCODE CHARACTERS KEYWORD POSITION" (the characters as UTF-16 units
// in hex, the rest in hex), translated by the platform layer's key path. The
// key tables are built once at start, from the layout the X server has then.
#include <QV/UIA/DETAIL/Keys.h>

#include "Cocoa/GNUstepHeaders.h"
#include "Cocoa/KeyEventRecord.h"

#include <cstdio>

@interface KeyProbeView : NSView
@end

@implementation KeyProbeView
- (BOOL)acceptsFirstResponder
{
    return YES;
}

// Keys pressed before the window is the key window go nowhere; the test
// waits for this line.
- (void)windowBecameKey:(NSNotification*)notification
{
    std::printf("key-window\n");
    std::fflush(stdout);
}

- (void)keyDown:(NSEvent*)event
{
    using namespace QV::UIA::DETAIL;
    const PlatformKeyEvent record = keyEventRecordOf(event);
    unsigned position = 0;
    const unsigned keyWord = KeyInput::convertKeyEventToUIA(record, &position);
    std::printf("down %u ", record.keyCode);
    for (char16_t c : record.characters)
        std::printf("%x,", static_cast<unsigned>(c));
    std::printf(" %x %x\n", keyWord, position);
    std::fflush(stdout);
}
@end

int main()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    [NSApplication sharedApplication];
    QV::UIA::DETAIL::Keys::init();

    NSWindow* window = [[NSWindow alloc] initWithContentRect:NSMakeRect(100, 100, 300, 200)
                                                   styleMask:NSTitledWindowMask
                                                     backing:NSBackingStoreBuffered
                                                       defer:NO];
    [window setTitle:@"Key Probe"];
    KeyProbeView* view = [[KeyProbeView alloc] initWithFrame:NSMakeRect(0, 0, 300, 200)];
    [window setContentView:view];
    [window makeFirstResponder:view];
    [[NSNotificationCenter defaultCenter] addObserver:view
                                             selector:@selector(windowBecameKey:)
                                                 name:NSWindowDidBecomeKeyNotification
                                               object:window];
    [window makeKeyAndOrderFront:nil];
    [NSApp run];
    [pool release];
    return 0;
}
