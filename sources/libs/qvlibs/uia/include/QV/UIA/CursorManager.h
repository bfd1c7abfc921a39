#pragma once

#include <vector>

namespace QV::UIA {

// The standard cursors and the registrations of custom ones. A registration
// handle names one block of registrations: (registration number, position in
// the custom list); {-1, -1} is none.
//
// The standard table names the platform's shared cursors; custom cursors
// (made from pictures) are not built yet, so a registration holds none.
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

    // Fills and empties the standard table. The platform cursors themselves
    // are looked up when first used.
    static void registerDefaultCursors();
    static void destroyDefaultCursors();
    static bool hasDefaultCursors() noexcept;

    // For the tests: the number of blocks issued and the open position.
    static int getRegistrationCount() noexcept;
};

} // namespace QV::UIA
