#include <QV/GP/Assertion.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Lib.h>

#include <cstdio>
#include <cstdlib>

#include "OpenFileRequest.h"

#import "QVCocoaAppDelegate.h"

namespace {

// The application, when a current module exists and has one attached.
QV::UIA::Application* runningApplication()
{
    return QV::UIA::AppModule::getCurrentModule() ? QV::UIA::Application::getApplication() : nullptr;
}

void sendNotice(unsigned code)
{
    if (QV::UIA::Application* application = runningApplication()) {
        QV::UIA::EventData none;
        application->sendEvent(code, &none);
    }
}

} // namespace

@implementation QVCocoaAppDelegate

- (id)init
{
    self = [super init];
    if (self) {
        QV::UIA::Lib::preparePlatform();
        [[NSApplication sharedApplication] setDelegate:self];
    }
    return self;
}

- (void)applicationWillFinishLaunching:(NSNotification*)notification
{
    (void)notification;
    QV::GP::Assertion::setSilent(true);
    if (!QV::UIA::DETAIL::AppModuleStartup::init()) {
        startFailed = YES;
        QV::GP::Assertion::setSilent(false);
        [NSApp terminate:nil];
        return;
    }
    QV::GP::Assertion::setSilent(false);
    initialised = YES;
}

- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender
{
    (void)sender;
    QV::UIA::Application* application = QV::UIA::Application::getApplication();
    if (!application || !initialised || application->isQuitPending())
        return NSTerminateNow;
    QV::UIA::CommandEventData command;
    command.commandId = QV::UIA::kCommandQuit;
    application->sendEvent(QV::UIA::kEventCommand, &command);
    return application->isQuitPending() ? NSTerminateNow : NSTerminateCancel;
}

- (void)applicationWillTerminate:(NSNotification*)notification
{
    (void)notification;
    // The shut-down runs once: a terminate: asked for again while it runs
    // (from a dialog's loop inside it) must not take down what it is taking
    // down.
    if (terminating)
        return;
    terminating = YES;
    QV::UIA::Application::destroyAllWindows();
    QV::GP::Assertion::setSilent(true);
    QV::UIA::DETAIL::AppModuleStartup::deInit();
    initialised = NO;
    if (startFailed) {
        // The platform ends a terminating application with code 0; a start
        // that failed must not look like a run that succeeded.
        std::fflush(nullptr);
        std::exit(1);
    }
}

- (void)applicationDidBecomeActive:(NSNotification*)notification
{
    (void)notification;
    sendNotice(QV::UIA::kEventAppActivated);
}

- (void)applicationDidResignActive:(NSNotification*)notification
{
    (void)notification;
    sendNotice(QV::UIA::kEventAppDeactivated);
}

// Also what keeps GNUstep from opening a panel of its own for a bare
// command-line argument, which it takes as a file to open.
- (BOOL)application:(NSApplication*)sender openFile:(NSString*)path
{
    (void)sender;
    if (!path)
        return NO;
    NSURL* url = [NSURL fileURLWithPath:path];
    return QV::openFileRequest([[url absoluteString] UTF8String]) ? YES : NO;
}

@end
