#pragma once

#include <QV/UIA/DETAIL/Pasteboard.h>

namespace QV::UIA::DETAIL {

// An existing platform pasteboard (NSPasteboard) as the layer's pasteboard;
// null for nil.
std::shared_ptr<Pasteboard> wrapPlatformPasteboard(void* board);

} // namespace QV::UIA::DETAIL
