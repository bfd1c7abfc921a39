#include "../Common/DragDropPlatform.h"

namespace QV::UIA::DETAIL {

bool runPlatformDrag(ExchangeData&, unsigned, const DragDropSupport::DragImage*)
{
    // No view can start a drag yet.
    return false;
}

} // namespace QV::UIA::DETAIL
