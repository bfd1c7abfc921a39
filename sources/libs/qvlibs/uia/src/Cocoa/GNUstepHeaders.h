#pragma once

// GNUstep's headers raise hundreds of -Wpedantic/-Wextra warnings of their
// own that GCC cannot silence with diagnostic pragmas; as a system header
// this file keeps them quiet for everything it imports.
#pragma GCC system_header

#import <Foundation/Foundation.h>
#import <AppKit/AppKit.h>
