#pragma once

namespace QV::UIA {

// Every event the platform layer sends. Ranges: 1000-1099 mouse, 1100-1199
// keyboard, 1200-1299 commands (a window's command goes to the window before
// the application), 1300-1399 drag and drop, 10000-10005 application notices,
// 1000000 and up window events. The payload of each is named beside it
// (EventData.h); "none" codes still come with a pointer to an empty record.
enum eEventCode : unsigned {
    kEventTimer = 2, // TimerEventData

    kEventMouseButton = 1000,       // MouseButtonEventData
    kEventMouseDrag = 1001,         // MouseEventData
    kEventMouseMove = 1002,         // MouseEventData
    kEventMouseWheel = 1003,        // MouseWheelEventData
    kEventMouseEnter = 1004,        // MouseEventData
    kEventMouseLeave = 1005,        // MouseEventData
    kEventMouseMoveRelative = 1006, // MouseRelativeMoveEventData

    kEventKeyDown = 1100,      // KeyEventData
    kEventKeyUp = 1101,        // KeyEventData (first press not meaningful)
    kEventTextInput = 1102,    // TextInputEventData
    kEventModifierKeys = 1103, // ModifierKeysEventData
    kEventMarkedText = 1104,   // MarkedTextEventData
    kEventKeyCommand = 1105,   // KeyCommandEventData

    kEventCommand = 1200,         // CommandEventData
    kEventCommandValidate = 1201, // menu update record (menus)
    kEventMenuWillOpen = 1202,    // menu update record (menus)

    kEventDragRequest = 1300,  // drag-and-drop records
    kEventDragReceive = 1301,
    kEventDragLeave = 1303,
    kEventDragFinished = 1304,

    kEventAppActivated = 10000,    // none
    kEventAppDeactivated = 10001,  // none
    kEventQuitRequest = 10002,     // QuitRequestEventData
    kEventOpenFile = 10003,        // OpenFileEventData
    kEventDisplaysChanged = 10005, // none

    kEventWindowCreated = 1000000,       // none
    kEventWindowDestroyed = 1000001,     // none
    kEventPaint = 1000002,               // PaintEventData
    kEventWindowSized = 1000003,         // none
    kEventWindowMoved = 1000004,         // none
    kEventWindowBecameMain = 1000005,    // none
    kEventWindowResignedMain = 1000006,  // none
    kEventKeyFocusLost = 1000007,        // none
    kEventKeyFocusGained = 1000008,      // none
    kEventKeyFocusLostLate = 1000009,    // none
    kEventResizeProposal = 1000010,      // ResizeProposalEventData
    kEventIdealSizeQuery = 1000011,      // IdealSizeEventData
    kEventCloseRequest = 1000012,        // CloseRequestEventData
    kEventWindowShown = 1000013,         // none
    kEventWindow14 = 1000014,            // reserved, never sent
    kEventBackingScaleChanged = 1000015, // BackingScaleEventData
};

// Command ranges and the commands the layer itself knows.
constexpr unsigned kFirstCommandEvent = 1200;
constexpr unsigned kLastCommandEvent = 1299;
constexpr unsigned kFirstDragDropEvent = 1300;
constexpr unsigned kLastDragDropEvent = 1399;

// Four-character command ids, first character in the high byte.
constexpr unsigned makeCommandId(char a, char b, char c, char d) noexcept
{
    return (unsigned(static_cast<unsigned char>(a)) << 24) | (unsigned(static_cast<unsigned char>(b)) << 16)
           | (unsigned(static_cast<unsigned char>(c)) << 8) | unsigned(static_cast<unsigned char>(d));
}
constexpr unsigned kCommandQuit = makeCommandId('q', 'u', 'i', 't');
constexpr unsigned kCommandPreferences = makeCommandId('p', 'r', 'e', 'f');
constexpr unsigned kCommandAbout = makeCommandId('a', 'b', 'o', 'u');

} // namespace QV::UIA
