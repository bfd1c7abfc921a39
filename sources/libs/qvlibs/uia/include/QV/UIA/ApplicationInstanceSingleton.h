#pragma once

#include <string>

namespace QV::UIA {

// Tells whether another instance of this application already runs on the
// machine, for any user, so that the application can refuse to start a second
// time.
//
// Instances are told apart by the bundle identifier of the main bundle (the
// executable's name when it runs outside an application folder). The first
// call that finds no other instance claims the name for the life of the
// process, so of two instances started together exactly one is told that it
// runs alone.
//
// Thread affinity: the main thread.
class ApplicationInstanceSingleton
{
public:
    ApplicationInstanceSingleton() = delete;

    // Accepted for callers that name one; every mode searches the same way.
    enum Mode
    {
        eModeDefault = 0,
    };

    // False when `name` is empty; otherwise true exactly when another
    // instance holds the application's claim. `name` is only tested for
    // emptiness. A claim whose file cannot be opened (another user made it
    // unreadable, or something else stands in its place) counts as held, and
    // the reason is traced; one that can be opened but not locked is traced
    // and answers false: the user gets a running application rather than
    // none.
    static bool hasConflictingInstance(std::string const& name, Mode mode);

    // The same test and claim for a program that runs outside the
    // application's folder but must not run beside it (a command-line tool
    // that does the application's work): `identifier` is the application's
    // bundle identifier. False when it is empty.
    static bool hasConflictingInstanceOf(std::string const& identifier);
};

} // namespace QV::UIA
