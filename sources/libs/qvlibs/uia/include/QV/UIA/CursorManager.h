#pragma once

#include <QV/GP/Point.h>

namespace QV::UIA {

// The standard cursors and the registrations of custom ones. A registration
// handle names one block of registrations: (registration number, position in
// the custom list); {-1, -1} is none.
//
// The standard table holds the platform's shared cursors and one blank
// cursor of the layer's own; custom cursors are owned by the manager and
// released when their registration is undone.
//
// Thread affinity: main thread.
class CursorManager
{
public:
    CursorManager() = delete;

    struct RegistrationHandle {
        int number = -1;
        int position = -1;
    };

    static constexpr int kStandardCursorCount = 17;

    static bool isInitialized() noexcept;
    static void setInitialized(bool initialized) noexcept;

    // Opens a registration block; the handle covers what is registered until
    // endRegistration.
    static RegistrationHandle beginRegistration();
    static void endRegistration();
    // Removes the custom cursors of the latest block, when no block is open
    // and the handle is that block's; any other handle is ignored.
    static void unregister(const RegistrationHandle& handle);

    // The standard cursors by the toolkit's number.
    enum eStandardCursor : int {
        kCursorArrow = 0,
        kCursorCrosshair = 1,
        kCursorOpenHand = 2,
        kCursorIBeam = 3,
        kCursorNotAllowed = 4,
        kCursorResizeUpDown = 7,
        kCursorResizeLeftRight = 9,
        kCursorResizeUp = 10,
        kCursorBlank = 12,
        kCursorPointingHand = 13,
        kCursorClosedHand = 14,
        kCursorDragCopy = 15,
        kCursorDragLink = 16,
    };

    // Fills the standard table (the blank cursor is made here) and empties
    // it again, releasing the blank cursor.
    static void registerDefaultCursors();
    static void destroyDefaultCursors();
    static bool hasDefaultCursors() noexcept;
    // The platform cursor (NSCursor) of a standard number, looked up on
    // first use; null outside the table, while it is empty, and while the
    // platform has no application.
    static void* getStandardCursor(int index);

    // Takes ownership of a platform cursor into the open registration; false
    // (the cursor left to the caller) when no registration is open.
    static bool registerCustomCursor(void* cursor);
    static int getCustomCursorCount() noexcept;

    // Makes the cursor the current platform cursor; null is the arrow.
    static void setSystemCursor(void* cursor);
    static void resetSystemCursor();
    // Moves the mouse pointer to a point of the screen coordinates (origin
    // at the top-left of the primary screen).
    static void setCursorPos(const GP::Point& position);

    // For the tests: the number of blocks issued and the open position.
    static int getRegistrationCount() noexcept;
};

} // namespace QV::UIA
