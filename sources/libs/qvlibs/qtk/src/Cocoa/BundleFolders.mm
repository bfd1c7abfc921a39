#include "Common/BundleFolders.h"

#import <Foundation/Foundation.h>

namespace QV::QTK::DETAIL {

void getMainBundleFolders(std::filesystem::path& bundle, std::filesystem::path& resources)
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSBundle* main = [NSBundle mainBundle];
    NSString* bundlePath = main != nil ? [main bundlePath] : nil;
    NSString* resourcePath = main != nil ? [main resourcePath] : nil;
    bundle = bundlePath != nil ? std::filesystem::path([bundlePath fileSystemRepresentation]) : std::filesystem::path();
    resources =
        resourcePath != nil ? std::filesystem::path([resourcePath fileSystemRepresentation]) : std::filesystem::path();
    [pool release];
}

} // namespace QV::QTK::DETAIL
