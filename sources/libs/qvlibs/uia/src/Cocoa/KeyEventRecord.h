#pragma once

#include "../Common/KeyInput.h"

#ifdef __OBJC__
@class NSEvent;
#else
struct NSEvent;
#endif

namespace QV::UIA::DETAIL {

// What a platform key, key-up or modifier event carried, for the key path.
// Under GNUstep the key code is the X keycode. A modifier change carries no
// characters, and asking it for them would raise.
PlatformKeyEvent keyEventRecordOf(NSEvent* event);

} // namespace QV::UIA::DETAIL
