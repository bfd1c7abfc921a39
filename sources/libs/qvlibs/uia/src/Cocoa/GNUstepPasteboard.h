#pragma once

#include <QV/UIA/DETAIL/Pasteboard.h>

#include <functional>

namespace QV::UIA::DETAIL {

// An existing platform pasteboard (NSPasteboard) as the layer's pasteboard;
// null for nil.
std::shared_ptr<Pasteboard> wrapPlatformPasteboard(void* board);

// Runs `work`, which talks to GNUstep's pasteboard server, inside an
// autorelease pool of its own; false when it raised. GNUstep raises
// NSPasteboardCommunicationException when its server (gpbs) does not answer
// in time, as for a text that another program sends incrementally; that must
// fail the one call, not end the program.
bool guardPasteboard(const std::function<void()>& work) noexcept;

} // namespace QV::UIA::DETAIL
