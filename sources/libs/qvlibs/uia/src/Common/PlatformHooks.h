#pragma once

// What the portable code of the layer asks of the platform code under
// src/Cocoa. Each function is implemented there once.

#include <QV/UIA/EventTimerManager.h>

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

} // namespace QV::UIA::DETAIL

namespace QV::UIA::DETAIL {

// Makes the native menu (an NSMenu) the platform application's main menu.
void setPlatformMainMenu(void* nativeMenu);

} // namespace QV::UIA::DETAIL

namespace QV::UIA::DETAIL {

// The standard cursors: the platform's cursor for a standard number (a new
// one owned by the caller for the blank cursor, a shared one otherwise);
// releasing a cursor the layer owns; making a cursor current (null leaves
// the current one); moving the pointer to a point in top-down screen
// coordinates.
void* platformStandardCursor(int index);
void releasePlatformCursor(void* cursor);
void setPlatformCursor(void* cursor);
void movePlatformPointer(float x, float y);

} // namespace QV::UIA::DETAIL
