#pragma once

#include <QV/GP/CharSequence.h>

#include <functional>

namespace QV::GP {

// A modal message box with one of six sets of buttons.
//
// Thread affinity: any thread. The box is shown only on the main thread with
// a display; elsewhere the text goes to the standard error stream and the
// caller's default button is the answer, so a question asked where nobody can
// see it never blocks.
class Message
{
public:
    Message() = delete;

    enum eType : int
    {
        eTypeOK = 0,
        eTypeOKCancel = 1,
        eTypeYesNo = 2,
        eTypeYesNoCancel = 3,
        eTypeRetryCancel = 4,
        eTypeAbortRetryIgnore = 5,
    };

    enum eButton : int
    {
        eButtonOK = 0,
        eButtonCancel = 1,
        eButtonYes = 2,
        eButtonNo = 3,
        eButtonAbort = 4,
        eButtonRetry = 5,
        eButtonIgnore = 6,
        // As a default button: no default.
        eButtonNone = 7,
    };

    enum eIcon : int
    {
        eIconInformation = 0,
        eIconError = 1,
        eIconWarning = 2,
        eIconQuestion = 3,
        eIconNote = 4,
    };

    using ShowFunction =
        std::function<eButton(const CharSequence<char>& text, eType type, eButton defaultButton, eIcon icon,
                              const char* title)>;

    // Set by a host that shows messages its own way; it then receives every
    // call of show, the assertion path's included.
    static ShowFunction s_showMessageFunctor;

    // Shows the text under the title (the application's name when null) with
    // the buttons of the type, and returns the button pressed. A type above
    // 5 shows nothing and returns the default button.
    static eButton show(const CharSequence<char>& text, eType type, eButton defaultButton, eIcon icon,
                        const char* title);

    // Closes the box that show() has open, from code that runs while it
    // waits for its answer (a timer, an event handler on the main thread):
    // show() then returns `answer` as though that button had been pressed.
    // False when no box of show()'s own is open, or it is closing already; a
    // host's ShowFunction closes its boxes itself.
    static bool close(eButton answer);
};

} // namespace QV::GP
