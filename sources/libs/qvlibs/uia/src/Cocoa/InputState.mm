#include <QV/UIA/EventData.h>
#include <QV/UIA/InputState.h>

#include "GNUstepHeaders.h"

namespace QV::UIA {

std::uint32_t InputState::getSyncModifierKeys()
{
    return modifiersFromPlatformFlags([NSEvent modifierFlags]);
}

} // namespace QV::UIA
