#pragma once

#include <QV/GP/Point.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventTarget.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace QV::GP {
class FileName;
}

namespace QV::UIA {

class DeviceContext;

// Modifier bits of every record that carries modifiers, and of key words.
enum eModifierKeys : std::uint32_t {
    kModifierCapsLock = 0x02000000,
    kModifierShift = 0x10000000,
    kModifierCommand = 0x20000000,
    kModifierControl = 0x40000000,
    kModifierOption = 0x80000000,
};

// The platform's modifier flags (bit 16 Caps Lock, 17 Shift, 18 Control,
// 19 Option, 20 Command) as the layer's modifier bits; every other platform
// flag is dropped.
constexpr std::uint32_t modifiersFromPlatformFlags(unsigned long flags) noexcept
{
    const auto f = static_cast<std::uint32_t>(flags & 0x1f0000u);
    return ((f & 0x20000u) << 11) | ((f & 0x10000u) << 9) | ((f & 0x100000u) << 9) | ((f & 0x40000u) << 12)
           | ((f & 0x80000u) << 12);
}

enum eMouseButton : std::uint32_t {
    kMouseButtonLeft = 1,
    kMouseButtonRight = 2,
    kMouseButtonMiddle = 4,
};

enum eMouseButtonState : std::uint32_t {
    kMouseButtonPressed = 1,
    kMouseButtonReleased = 2,
    // The press that completes a double click (an even click count on the
    // same button as the previous press).
    kMouseButtonDoublePressed = 3,
};

// Position in the view's coordinates: origin at the top-left of its content,
// y growing downwards.
struct MouseEventData : EventData {
    GP::Point position;
    std::uint32_t modifiers = 0;
};

struct MouseButtonEventData : MouseEventData {
    std::uint32_t button = 0; // eMouseButton
    std::uint32_t state = 0;  // eMouseButtonState
    // When a press was made, where the platform tells it: one that waited
    // while the main thread was held was made before what the window shows
    // when it is handled.
    std::optional<std::chrono::steady_clock::time_point> madeAt;
};

struct MouseWheelEventData : MouseEventData {
    std::int32_t delta = 0;
    std::uint32_t axis = 0; // 0 horizontal, 1 vertical

    static int getDeltaUnit() noexcept { return 1; }
};

struct MouseRelativeMoveEventData : MouseEventData {
    double dx = 0;
    double dy = 0;
};

// The key word is a key code OR modifier bits: mask it with kKeyCodeMask for
// the key and kModifierMask for the modifiers. firstPress is meaningful for
// kEventKeyDown only.
struct KeyEventData : EventData {
    static constexpr std::uint32_t kKeyCodeMask = 0x1ffff;
    static constexpr std::uint32_t kModifierMask = 0xff000000;

    std::uint32_t keyWord = 0;
    std::uint32_t positionKey = 0;
    bool firstPress = false;
};

struct ModifierKeysEventData : EventData {
    std::uint32_t modifiers = 0;
    std::uint32_t platformKeyCode = 0;
};

struct TextInputEventData : EventData {
    std::string text; // UTF-8
};

struct MarkedTextEventData : EventData {
    std::string text;        // UTF-8 composition text
    std::uint64_t caret = 0; // end of the selected range, UTF-16 units
};

struct KeyCommandEventData : EventData {
    enum eCommand : std::uint32_t {
        kMoveLeft = 0,
        kMoveRight = 1,
        kMoveUp = 2,
        kMoveDown = 3,
        kMoveToLineStart = 4,
        kMoveToLineEnd = 5,
        kDeleteForward = 8,
        kDeleteBackward = 9,
    };
    std::uint32_t command = 0;
    std::uint32_t extendSelection = 0;
};

struct CommandEventData : EventData {
    std::uint32_t commandId = 0;
};

struct TimerEventData : EventData {
    HEventTimer timer = nullptr;
    std::uint32_t interval = 0; // milliseconds, as rounded
};

struct PaintEventData : EventData {
    DeviceContext* deviceContext = nullptr;
};

// Reply fields: all zero on entry.
struct ResizeProposalEventData : EventData {
    static constexpr std::uint32_t kMinimumValid = 1;
    static constexpr std::uint32_t kMaximumValid = 2;

    std::uint32_t limits = 0;
    std::int32_t minWidth = 0;
    std::int32_t minHeight = 0;
    std::int32_t maxWidth = 0;
    std::int32_t maxHeight = 0;
};

struct IdealSizeEventData : EventData {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Reply field, true on entry: a receiver that ignores the event allows it.
struct CloseRequestEventData : EventData {
    bool allow = true;
};

// Reply field, true on entry: a receiver that ignores the event allows it.
struct QuitRequestEventData : EventData {
    bool allowed = true;
};

struct BackingScaleEventData : EventData {
    float scale = 1.0f;
};

struct OpenFileEventData : EventData {
    const GP::FileName* file = nullptr;
};

} // namespace QV::UIA
