#pragma once

#include <string>

namespace QV::UIA {

// Tells whether another instance of this application already runs for the
// same user, so that the application can refuse to start a second time.
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
    // emptiness. When the claim cannot be checked at all (no private folder
    // for it), the reason is traced and the answer is false: the user gets a
    // running application rather than none.
    static bool hasConflictingInstance(std::string const& name, Mode mode);
};

} // namespace QV::UIA
