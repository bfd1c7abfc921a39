#pragma once

// GNUstep's headers are found through -I rather than as system headers, and
// they set off hundreds of -Wpedantic/-Wextra warnings of their own (GCC 12
// ignores diagnostic pragmas for warnings raised by the preprocessor). This
// header marks itself as a system header, which silences them for everything
// it imports while our own sources keep every warning.
#pragma GCC system_header

#import <Foundation/Foundation.h>
#import <AppKit/AppKit.h>
