#include "KeyEventRecord.h"

#include "GNUstepHeaders.h"

namespace QV::UIA::DETAIL {

PlatformKeyEvent keyEventRecordOf(NSEvent* event)
{
    PlatformKeyEvent record;
    if (!event)
        return record;
    record.keyCode = [event keyCode];
    record.modifierFlags = [event modifierFlags];
    const NSEventType type = [event type];
    if (type != NSKeyDown && type != NSKeyUp)
        return record;
    record.isRepeat = type == NSKeyDown && [event isARepeat];
    NSString* characters = [event charactersIgnoringModifiers];
    const NSUInteger length = characters ? [characters length] : 0;
    if (length > 0) {
        record.characters.resize(length);
        [characters getCharacters:reinterpret_cast<unichar*>(record.characters.data())
                            range:NSMakeRange(0, length)];
    }
    return record;
}

} // namespace QV::UIA::DETAIL
