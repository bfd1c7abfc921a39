#include "ViewDragging.h"

#include "../Common/DragDropPlatform.h"
#include "GNUstepPasteboard.h"
#include "PlatformImage.h"
#include "View.h"
#include "WindowImplBase.h"

#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/ExchangeData.h>
#include <QV/UIA/InputState.h>
#include <QV/UIA/InternalClipBoardFormat.h>
#include <QV/UIA/Picture.h>
#include <QV/UIA/WindowBase.h>

#include <cmath>
#include <memory>
#include <string>

namespace QV::UIA::COCOA {

namespace {

using namespace QV::UIA::DragDropSupport;

std::uint32_t effectsFromOperations(NSDragOperation operations)
{
    std::uint32_t effects = 0;
    if (operations & NSDragOperationCopy)
        effects |= kDropEffectCopy;
    if (operations & NSDragOperationLink)
        effects |= kDropEffectLink;
    if (operations & NSDragOperationMove)
        effects |= kDropEffectMove;
    return effects;
}

NSDragOperation operationsFromEffects(std::uint32_t effects)
{
    NSDragOperation operations = NSDragOperationNone;
    if (effects & kDropEffectCopy)
        operations |= NSDragOperationCopy;
    if (effects & kDropEffectMove)
        operations |= NSDragOperationMove;
    if (effects & kDropEffectLink)
        operations |= NSDragOperationLink;
    return operations;
}

NSDragOperation operationFromEffect(std::uint32_t effect)
{
    switch (effect & ~std::uint32_t(kDropEffectAcceptedOnly)) {
    case kDropEffectCopy:
        return NSDragOperationCopy;
    case kDropEffectMove:
        return NSDragOperationMove;
    case kDropEffectLink:
        return NSDragOperationLink;
    default:
        return NSDragOperationNone;
    }
}

// Fills the record's common fields from the drag; false when the view has
// no window any more or the drag's pasteboard cannot be had.
bool fillDragRecord(NSView* self, id<NSDraggingInfo> sender, DragEventData& record,
                    std::shared_ptr<DETAIL::Pasteboard>& pasteboard)
{
    const NSPoint location = [self convertPoint:[sender draggingLocation] fromView:nil];
    record.position = {static_cast<std::int32_t>(std::trunc(location.x)),
                       static_cast<std::int32_t>(std::trunc(location.y))};
    record.modifiers = InputState::getSyncModifierKeys();
    record.allowedEffects = effectsFromOperations([sender draggingSourceOperationMask]);
    DETAIL::guardPasteboard([&] { pasteboard = DETAIL::wrapPlatformPasteboard([sender draggingPasteboard]); });
    return pasteboard != nullptr;
}

NSDragOperation handleDragDropEvent(NSView* self, id<NSDraggingInfo> sender, bool isRequest)
{
    WindowImplBase* impl = View::getImpl(self);
    if (impl == nullptr)
        return NSDragOperationNone;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    std::shared_ptr<DETAIL::Pasteboard> pasteboard;
    NSDragOperation operation = NSDragOperationNone;
    if (isRequest) {
        DragDropRequestEventData request;
        if (fillDragRecord(self, sender, request, pasteboard)) {
            ExchangeData exchange(pasteboard);
            request.exchangeData = &exchange;
            WindowBase& window = impl->getOwner();
            if (DragDropManager::handleDragRequestEvent(&window, &request, &window))
                operation = operationFromEffect(request.effect);
        }
    } else {
        DragDropReceiveEventData receive;
        if (fillDragRecord(self, sender, receive, pasteboard)) {
            ExchangeData exchange(pasteboard);
            receive.exchangeData = &exchange;
            if (DragDropManager::handleDragReceiveEvent(&receive))
                operation = operationFromEffect(receive.effect);
        }
    }
    [pool release];
    return operation;
}

// Without a picture of its own a drag shows a small outlined box.
Picture* makeDefaultDragPicture()
{
    auto* picture = new Picture();
    if (!picture->setSize(16, 8, true)) {
        delete picture;
        return nullptr;
    }
    picture->setAlphaChannel(true);
    picture->clear(0);
    picture->drawLineH(1, 0, 14, 0xFFFFFFFF);
    picture->drawLineH(1, 7, 14, 0xFFFFFFFF);
    picture->drawLineV(0, 1, 6, 0xFFFFFFFF);
    picture->drawLineV(15, 1, 6, 0xFFFFFFFF);
    return picture;
}

// GNUstep's drags always carry the drag pasteboard, whatever pasteboard the
// drag is started with: the exchange's types and data are copied to it.
NSPasteboard* dragPasteboardFrom(DETAIL::Pasteboard& source)
{
    NSPasteboard* from = [NSPasteboard pasteboardWithName:[NSString stringWithUTF8String:source.name().c_str()]];
    NSPasteboard* drag = [NSPasteboard pasteboardWithName:NSDragPboard];
    NSArray* types = [from types];
    if (from == nil || drag == nil || [types count] == 0)
        return nil;
    [drag declareTypes:types owner:nil];
    NSEnumerator* each = [types objectEnumerator];
    for (NSString* type = [each nextObject]; type != nil; type = [each nextObject])
        if (NSData* data = [from dataForType:type])
            [drag setData:data forType:type];
    return drag;
}

} // namespace

void registerViewDragTypes(NSView* view)
{
    NSString* internal = [NSString stringWithUTF8String:InternalClipBoardFormat::typeName().c_str()];
    [view registerForDraggedTypes:[NSArray arrayWithObjects:NSStringPboardType, NSFilenamesPboardType, internal, nil]];
}

NSDragOperation viewDraggingEntered(id self, SEL, id<NSDraggingInfo> sender)
{
    return handleDragDropEvent(self, sender, true);
}

BOOL viewPrepareForDragOperation(id, SEL, id<NSDraggingInfo>)
{
    return YES;
}

BOOL viewPerformDragOperation(id self, SEL, id<NSDraggingInfo> sender)
{
    return handleDragDropEvent(self, sender, false) != NSDragOperationNone ? YES : NO;
}

void viewDraggingExited(id self, SEL, id<NSDraggingInfo>)
{
    if (View::getImpl(self) == nullptr)
        return;
    DragDropLeavedEventData leave;
    DragDropManager::handleDragLeavedEvent(&leave);
}

void viewDraggedImageEndedAt(id, SEL, NSImage*, NSPoint, NSDragOperation operation)
{
    DropResult result = kDropResultNotStarted;
    if (operation == NSDragOperationNone || operation == NSDragOperationGeneric)
        result = kDropResultNone;
    else if (operation == NSDragOperationCopy)
        result = kDropResultCopy;
    else if (operation == NSDragOperationLink)
        result = kDropResultLink;
    else if (operation == NSDragOperationMove)
        result = kDropResultMove;
    else if (operation == NSDragOperationDelete)
        result = kDropResultDelete;
    DragDropManager::handleDragFinishedEvent(result);
}

} // namespace QV::UIA::COCOA

namespace QV::UIA::DETAIL {

bool runPlatformDrag(ExchangeData& exchange, unsigned effects, const DragDropSupport::DragImage* image)
{
    using namespace COCOA;
    using namespace DragDropSupport;
    COCOA::View::DragViewData* record = nullptr;
    if (!COCOA::View::getDragViewData(record) || record == nullptr || record->view == nullptr
        || record->event == nullptr || exchange.getPasteboard() == nullptr)
        return false;
    NSView* view = static_cast<NSView*>(record->view);
    NSEvent* event = static_cast<NSEvent*>(record->event);
    if (COCOA::View::getImpl(view) == nullptr || [view window] == nil)
        return false;

    record->localOperations = operationsFromEffects(effects);

    // The drag's pasteboard is filled and read through GNUstep's server; a
    // failure there ends the drag, started or not.
    bool started = false;
    DETAIL::guardPasteboard([&] {
        NSPasteboard* pasteboard = dragPasteboardFrom(*exchange.getPasteboard());
        if (pasteboard == nil)
            return;
        std::unique_ptr<Picture> own(image && image->picture ? nullptr : makeDefaultDragPicture());
        const Picture* picture = own ? own.get() : (image ? image->picture : nullptr);
        if (picture == nullptr)
            return;
        NSImage* nsImage = [static_cast<NSImage*>(createNSImageFromPicture(*picture, false)) autorelease];
        if (nsImage == nil)
            return;
        NSPoint at = NSMakePoint(record->x, picture->getHeight() + record->y);
        if (image && image->picture) {
            at.x -= image->hotSpotX;
            at.y -= image->hotSpotY;
        }
        // The view keeps itself while the drag runs: a handler of the drop
        // may close its window.
        [[view retain] autorelease];
        started = true;
        [view dragImage:nsImage
                     at:at
                 offset:NSMakeSize(0, 0)
                  event:event
             pasteboard:pasteboard
                 source:view
              slideBack:NO];
    });
    return started;
}

} // namespace QV::UIA::DETAIL
