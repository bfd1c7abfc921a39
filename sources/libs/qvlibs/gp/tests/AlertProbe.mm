// Shows one message box through QV::GP::Message::show on the main thread and
// prints the answer as "answer N". The alert test runs it on a display of its
// own and answers the box with the keyboard.
//
// The box is described by the environment (QV_ALERT_TYPE, QV_ALERT_DEFAULT,
// QV_ALERT_ICON), not by arguments: a launching GNUstep application takes its
// arguments for documents to open and reports each one it cannot open in an
// alert of its own.
#include <QV/GP/Message.h>

#include "Cocoa/GNUstepHeaders.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool readSetting(const char* name, int& value)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return false;
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (*end != '\0' || number < 0 || number > 100)
        return false;
    value = static_cast<int>(number);
    return true;
}

} // namespace

int main()
{
    using QV::GP::Message;
    int type = 0;
    int defaultButton = 0;
    int icon = 0;
    if (!readSetting("QV_ALERT_TYPE", type) || !readSetting("QV_ALERT_DEFAULT", defaultButton) ||
        !readSetting("QV_ALERT_ICON", icon)) {
        std::fprintf(stderr, "alert probe: QV_ALERT_TYPE, QV_ALERT_DEFAULT and QV_ALERT_ICON must be numbers\n");
        return 2;
    }

    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    // The updater asks its questions while its application runs. Only a
    // launched application makes the box the key window, and without a key
    // window no key reaches the box.
    [NSApplication sharedApplication];
    [NSApp finishLaunching];

    const Message::eButton answer =
        Message::show(std::string("Quit during the update?"), static_cast<Message::eType>(type),
                      static_cast<Message::eButton>(defaultButton), static_cast<Message::eIcon>(icon), nullptr);
    std::printf("answer %d\n", static_cast<int>(answer));
    std::fflush(stdout);
    [pool release];
    return 0;
}
