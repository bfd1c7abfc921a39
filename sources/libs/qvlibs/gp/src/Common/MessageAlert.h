#pragma once

#include <QV/GP/Message.h>

#include <string>
#include <vector>

// The message box in two halves: deciding what to show is plain C++ (here
// and in Message.cpp), showing it is the platform's alert (src/Cocoa).
namespace QV::GP::DETAIL {

struct AlertButton
{
    std::string title;
    Message::eButton tag;
};

struct AlertRequest
{
    std::string title;
    std::string text;
    std::vector<AlertButton> buttons;
    // Index into buttons of the default button; -1 for none.
    int defaultIndex;
    // The platform alert's style (0 warning, 1 informational, 2 critical);
    // -1 keeps the platform's default.
    int style;
};

// The buttons of a set, in the order they are added, with their titles not
// yet translated; empty for a type that has no set.
std::vector<AlertButton> alertButtons(Message::eType type);

int alertStyle(Message::eIcon icon);

// The first button carrying the tag; -1 when the tag is eButtonNone or no
// button carries it.
int defaultButtonIndex(const std::vector<AlertButton>& buttons, Message::eButton defaultButton);

// Whether an alert can be run here: on the main thread, with a display.
bool canRunAlert();

// Runs the alert modally and answers the tag of the button pressed.
Message::eButton runAlert(const AlertRequest& request);

// Ends the alert that runAlert runs, which then answers `answer`; false when
// none runs or it is ending already.
bool closeAlert(Message::eButton answer);

} // namespace QV::GP::DETAIL
