#pragma once

// GNUstep's headers raise hundreds of -Wpedantic/-Wextra warnings that GCC
// cannot silence with diagnostic pragmas; as a system header this file keeps
// them quiet for everything it imports.
#pragma GCC system_header

#import <AppKit/AppKit.h>
