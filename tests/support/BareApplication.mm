// A GNUstep application that does nothing: no window, no menu of its own. It
// is the baseline that start-up and idle benchmarks set the updater beside.
// With QV_IDLE_TIMER_MS set it adds a repeating timer of that period to the
// default, modal-panel and event-tracking run-loop modes (the common modes
// never fire on GNUstep), and prints "ticks N" once a second of ticks, so
// that the idle benchmark can tell that the timer runs. With QV_BARE_WINDOW
// set it shows one empty 640 x 440 window, the updater's size, so that the
// memory and idle cost of a window alone can be set beside the updater's.
// It makes the same platform set-up as the updater before its application
// object exists, so that a comparison counts only what the updater does
// beyond it: GNUstep's ImageMagick, PostScript, PDF and QuickDraw image
// classes are taken out of the image lookup, and the menu style the updater
// asks for is the default.
#import <AppKit/AppKit.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

@interface QVBareTicker : NSObject
{
    long m_ticks;
    long m_perReport;
}
- (id)initWithPeriod:(double)seconds;
- (void)tick:(NSTimer*)timer;
@end

@implementation QVBareTicker
- (id)initWithPeriod:(double)seconds
{
    if ((self = [super init]) != nil)
        m_perReport = seconds > 0 && seconds < 1 ? static_cast<long>(1.0 / seconds + 0.5) : 1;
    return self;
}

- (void)tick:(NSTimer*)timer
{
    if (++m_ticks % m_perReport == 0) {
        std::printf("ticks %ld\n", m_ticks);
        std::fflush(stdout);
    }
}
@end

int main()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    for (NSString* name : {@"GSImageMagickImageRep", @"NSEPSImageRep", @"NSPDFImageRep", @"NSPICTImageRep"})
        if (Class unused = NSClassFromString(name))
            [NSImageRep unregisterImageRepClass:unused];
    [[NSUserDefaults standardUserDefaults]
        registerDefaults:[NSDictionary dictionaryWithObject:@"NSWindows95InterfaceStyle"
                                                     forKey:@"NSMenuInterfaceStyle"]];
    [NSApplication sharedApplication];
    if (const char* period = std::getenv("QV_IDLE_TIMER_MS")) {
        const double seconds = std::atoi(period) / 1000.0;
        if (seconds > 0) {
            QVBareTicker* ticker = [[QVBareTicker alloc] initWithPeriod:seconds];
            NSTimer* timer = [NSTimer timerWithTimeInterval:seconds
                                                     target:ticker
                                                   selector:@selector(tick:)
                                                   userInfo:nil
                                                    repeats:YES];
            NSRunLoop* loop = [NSRunLoop currentRunLoop];
            [loop addTimer:timer forMode:NSDefaultRunLoopMode];
            [loop addTimer:timer forMode:NSModalPanelRunLoopMode];
            [loop addTimer:timer forMode:NSEventTrackingRunLoopMode];
        }
    }
    if (std::getenv("QV_BARE_WINDOW") != nullptr) {
        NSWindow* window = [[NSWindow alloc] initWithContentRect:NSMakeRect(0, 0, 640, 440)
                                                       styleMask:NSTitledWindowMask | NSClosableWindowMask
                                                         backing:NSBackingStoreBuffered
                                                           defer:NO];
        [window setTitle:@"Bare window"];
        [window makeKeyAndOrderFront:nil];
    }
    [NSApp run];
    [pool release];
    return 0;
}
