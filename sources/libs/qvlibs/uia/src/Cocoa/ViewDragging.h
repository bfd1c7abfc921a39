#pragma once

// The view's side of drag and drop: the drags that reach it as a
// destination, and the end of the drags it started. Methods of the view's
// run-time class (View.mm adds them).

#include "GNUstepHeaders.h"

namespace QV::UIA::COCOA {

// The types a view accepts from drags: text, file names and the in-process
// record.
void registerViewDragTypes(NSView* view);

NSDragOperation viewDraggingEntered(id self, SEL, id<NSDraggingInfo> sender);
BOOL viewPrepareForDragOperation(id self, SEL, id<NSDraggingInfo> sender);
BOOL viewPerformDragOperation(id self, SEL, id<NSDraggingInfo> sender);
void viewDraggingExited(id self, SEL, id<NSDraggingInfo> sender);
void viewDraggedImageEndedAt(id self, SEL, NSImage* image, NSPoint at, NSDragOperation operation);

} // namespace QV::UIA::COCOA
