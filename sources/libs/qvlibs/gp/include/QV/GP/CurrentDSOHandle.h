#pragma once

#include <string>

// There is no CoreFoundation on this platform. A CFBundleRef is a GNUstep
// NSBundle under its bridged name, opaque to plain C++.
struct __CFBundle;
typedef struct __CFBundle* CFBundleRef;

namespace QV::GP {

// The bundle that holds the running code: the GNUstep application folder
// (<name>.app, with the executable directly inside it) that contains the
// executable this library is linked into. Code that does not run from an
// application folder (tests, tools) has no bundle.

// A new reference (retained) to that bundle, or null.
CFBundleRef resolveCurrentDSOHandle();

// The cached bundle, resolved on first use; null when there is none. The
// reference stays owned by the cache.
CFBundleRef getCurrentDSOHandle();

// Releases the cached bundle and clears the cache; the entry point calls it as
// the process ends.
void releaseCurrentDSOHandle();

// The resources folder (<name>.app/Resources) of the cached bundle, or an
// empty text when there is no bundle.
std::string getCurrentDSOResourcePath();

} // namespace QV::GP
