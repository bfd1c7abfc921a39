#include <QV/UIA/CLI.h>

#import "QVCocoaAppDelegate.h"

// The entry point: keeps the command line for the application and runs the
// platform application, whose run loop drives everything else through the
// delegate.
int main(int argc, char** argv)
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    QV::UIA::CLI::setCommandLineArguments(argc, argv);
    QVCocoaAppDelegate* delegate = [[QVCocoaAppDelegate alloc] init];
    [NSApp run];
    [delegate release];
    [pool release];
    return 0;
}
