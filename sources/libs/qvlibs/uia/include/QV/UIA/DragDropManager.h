#pragma once

#include <QV/UIA/DragDropSupport.h>

#include <cstdint>

namespace QV::UIA {

class WindowBase;

// Routes the drags over the program's windows to event targets, and starts
// the program's own drags. A drag over a window: kEventDragRequest on each
// entry and move (a change of target sends kEventDragLeave to the previous
// one), then kEventDragReceive and kEventDragLeave on a drop, or
// kEventDragLeave alone when the drag leaves. A drag started here ends with
// kEventDragFinished to its result receiver.
//
// Thread affinity: main thread; the state is process-wide and unguarded.
class DragDropManager
{
public:
    DragDropManager() = delete;

    // True when the drag is accepted.
    static bool handleDragRequestEvent(WindowBase* window, DragDropRequestEventData* request, EventTarget* target);
    // True when the drop was performed.
    static bool handleDragReceiveEvent(DragDropReceiveEventData* receive);
    static bool handleDragLeavedEvent(DragDropLeavedEventData* leave);
    static bool handleDragFinishedEvent(DragDropSupport::DropResult result);

    // The id of a named kind of in-process drag record; the same name keeps
    // its id for the process's life.
    static unsigned registerFormat(const char* name);

    // Starts a drag of the format's data on a new pasteboard of its own;
    // `receiver` gets kEventDragFinished at its end (at once, with result 0,
    // when it cannot start).
    static void DoDragWithCallback(EventTarget* receiver, const ClipBoardFormat& format, unsigned effects,
                                   const DragDropSupport::DragImage* image);
    static void DoDragWithCallback(ExchangeData& exchange, unsigned effects, const DragDropSupport::DragImage* image);

    // True while this program runs a drag of its own (it is the source).
    static bool isDragInProgress() noexcept;
    // True while this program is the source of a drag, or a drag (its own or
    // another program's) is over one of its windows, from the drag's first
    // request there to its drop or its leave. The pointer belongs to the
    // drag then: the windows get no enter or leave events.
    static bool isAnyDragRunning() noexcept;
    // A button or motion event reached one of the windows. No drag holds the
    // pointer then, so a drag over the windows whose end was never reported
    // (its source died, its window closed under it) is taken as ended.
    static void noteMouseOutsideDrag() noexcept;
    // Whether the record and window read back from a drag's internal data
    // are those of the drag this process runs now. Pointers read from a
    // pasteboard are trusted only then: any program can offer data of the
    // internal type.
    static bool isCurrentDrag(const DragDropData* data, const WindowBase* window) noexcept;

    // Forgets a target that is being destroyed, wherever the running drag
    // holds it: as its target, its result receiver, an observer or the window
    // of its internal record.
    static void forgetTarget(const EventTarget* target) noexcept;

    // Forgets every target, receiver and observer (for a process that tears
    // its windows down, and for tests).
    static void reset() noexcept;
};

} // namespace QV::UIA
