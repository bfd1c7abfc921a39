#include <QV/UIA/CursorManager.h>

#include "../Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

#import <GNUstepGUI/GSDisplayServer.h>

namespace QV::UIA::DETAIL {

namespace {

// The pointer is hidden by a cursor without a single visible pixel.
NSCursor* makeBlankCursor()
{
    NSImage* image = [[NSImage alloc] initWithSize:NSMakeSize(16, 16)];
    NSCursor* cursor = [[NSCursor alloc] initWithImage:image hotSpot:NSMakePoint(0, 0)];
    [image release];
    return cursor;
}

} // namespace

void* platformStandardCursor(int index)
{
    // Without an application GNUstep has no display to make cursors on.
    if (!NSApp)
        return nullptr;
    switch (index) {
    case CursorManager::kCursorArrow:
    case 11:
        return [NSCursor arrowCursor];
    case CursorManager::kCursorCrosshair:
    case 5:
    case 6:
    case 8:
        return [NSCursor crosshairCursor];
    case CursorManager::kCursorOpenHand:
        return [NSCursor openHandCursor];
    case CursorManager::kCursorIBeam:
        return [NSCursor IBeamCursor];
    case CursorManager::kCursorNotAllowed:
        return [NSCursor operationNotAllowedCursor];
    case CursorManager::kCursorResizeUpDown:
        return [NSCursor resizeUpDownCursor];
    case CursorManager::kCursorResizeLeftRight:
        return [NSCursor resizeLeftRightCursor];
    case CursorManager::kCursorResizeUp:
        return [NSCursor resizeUpCursor];
    case CursorManager::kCursorBlank:
        return makeBlankCursor();
    case CursorManager::kCursorPointingHand:
        return [NSCursor pointingHandCursor];
    case CursorManager::kCursorClosedHand:
        return [NSCursor closedHandCursor];
    case CursorManager::kCursorDragCopy:
        return [NSCursor dragCopyCursor];
    case CursorManager::kCursorDragLink:
        return [NSCursor dragLinkCursor];
    default:
        return nullptr;
    }
}

void releasePlatformCursor(void* cursor)
{
    [reinterpret_cast<NSCursor*>(cursor) release];
}

void setPlatformCursor(void* cursor)
{
    [reinterpret_cast<NSCursor*>(cursor) set];
}

void movePlatformPointer(float x, float y)
{
    GSDisplayServer* server = GSCurrentServer();
    NSArray* screens = [NSScreen screens];
    if (!server || ![screens count])
        return;
    // The display server takes the platform's bottom-up coordinates.
    const NSRect primary = [[screens objectAtIndex:0] frame];
    const double top = static_cast<float>(primary.origin.y + primary.size.height);
    [server setMouseLocation:NSMakePoint(x, top - y) onScreen:0];
}

} // namespace QV::UIA::DETAIL
