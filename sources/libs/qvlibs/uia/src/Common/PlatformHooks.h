#pragma once

// What the portable code of the layer asks of the platform code under
// src/Cocoa. Each function is implemented there once.

#include <QV/UIA/EventTimerManager.h>

#include <functional>
#include <memory>

namespace QV::UIA::DETAIL {

// The run-loop timer that drives the event-timer manager.
std::unique_ptr<AbstractEventTimerManagerOsBridge> makePlatformEventTimerBridge(EventTimerManager& manager);

// The notification path of asynchronous events. initAsyncPlatform and
// deInitAsyncPlatform run on the main thread; postAsyncPlatform on any
// thread, answering false when the path is not set up.
void initAsyncPlatform();
void deInitAsyncPlatform();
bool postAsyncPlatform(unsigned code, unsigned handle);

// Asks the platform application to perform terminate: on a later turn of
// the main run loop.
void postPlatformTerminate();

// From now on SIGTERM, SIGINT and SIGHUP, on whatever thread they land, end
// the application from the main run loop as an approved quit does, without
// asking it. Once the platform application exists; later calls do nothing.
void watchTerminationSignals();


// Makes the native menu (an NSMenu) the platform application's main menu.
void setPlatformMainMenu(void* nativeMenu);


// The standard cursors: the platform's cursor for a standard number (a new
// one owned by the caller for the blank cursor, a shared one otherwise);
// releasing a cursor the layer owns; making a cursor current (null leaves
// the current one); moving the pointer to a point in top-down screen
// coordinates.
void* platformStandardCursor(int index);
void releasePlatformCursor(void* cursor);
void setPlatformCursor(void* cursor);
void movePlatformPointer(float x, float y);

// A descriptor watched by the main run loop until the watch is destroyed: in
// its default mode, or also while a dialog runs or the mouse is tracked.
class PlatformDescriptorWatch
{
public:
    virtual ~PlatformDescriptorWatch() = default;
    // While set, writability of the descriptor calls `ready` too.
    virtual void setWriteInterest(bool interested) = 0;
};

// Calls `ready` on the main run loop whenever the descriptor can be read;
// null when the platform cannot watch it.
std::unique_ptr<PlatformDescriptorWatch> watchPlatformDescriptor(int descriptor, std::function<void()> ready,
                                                                 bool inEveryMode = false);

} // namespace QV::UIA::DETAIL
