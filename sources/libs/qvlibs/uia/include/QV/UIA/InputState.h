#pragma once

#include <cstdint>

namespace QV::UIA {

// The state of the keyboard for code that has no event at hand.
//
// Thread affinity: main thread.
class InputState
{
public:
    InputState() = delete;

    // The modifier keys held now, as modifier bits (EventData.h).
    static std::uint32_t getSyncModifierKeys();
};

} // namespace QV::UIA
