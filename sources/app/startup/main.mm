#include <QV/UIA/CLI.h>

#include <malloc.h>

#import "QVCocoaAppDelegate.h"

// The entry point: keeps the command line for the application and runs the
// platform application, whose run loop drives everything else through the
// delegate.
int main(int argc, char** argv)
{
    // Blocks of a window's size (the platform's copy of a picture being
    // drawn) are given back to the system once freed. By default the C
    // library raises its threshold for that to the size of the first such
    // block freed, after which every later one stays in the heap for the
    // rest of the run.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    QV::UIA::CLI::setCommandLineArguments(argc, argv);
    QVCocoaAppDelegate* delegate = [[QVCocoaAppDelegate alloc] init];
    [NSApp run];
    [delegate release];
    [pool release];
    return 0;
}
