#pragma once

// What the drag-and-drop manager asks of the platform view (src/Cocoa).

#include <QV/UIA/DragDropSupport.h>

namespace QV::UIA::DETAIL {

// Runs the platform drag of the exchange's pasteboard from the view of the
// last mouse event, offering `effects`; returns when the drag has ended (the
// view reports its result through DragDropManager::handleDragFinishedEvent).
// False, with nothing reported, when no view or mouse event can start it.
bool runPlatformDrag(ExchangeData& exchange, unsigned effects, const DragDropSupport::DragImage* image);

} // namespace QV::UIA::DETAIL
