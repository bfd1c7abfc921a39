// Prints what NSBundle makes of the application folder it runs from, one
// "key: value" line each, for the application-folder test. A value that is
// missing prints as "(none)".
#import <Foundation/Foundation.h>

#include <cstdio>

namespace {

void print(const char* key, id value)
{
    const char* text = [value isKindOfClass:[NSString class]] ? [value UTF8String] : "(none)";
    std::printf("%s: %s\n", key, text);
}

} // namespace

int main()
{
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSBundle* bundle = [NSBundle mainBundle];
    NSDictionary* info = [bundle infoDictionary];
    print("identifier", [bundle bundleIdentifier]);
    print("path", [bundle bundlePath]);
    print("name", [info objectForKey:@"CFBundleName"]);
    print("version", [info objectForKey:@"CFBundleShortVersionString"]);
    print("build", [info objectForKey:@"CFBundleVersion"]);
    print("executable", [info objectForKey:@"NSExecutable"]);
    print("principal", [info objectForKey:@"NSPrincipalClass"]);
    print("stylesheet", [bundle pathForResource:@"Probe" ofType:@"txt" inDirectory:@"stylesheets"]);
    print("note", [bundle pathForResource:@"Note" ofType:@"txt"]);
    print("missing", [bundle pathForResource:@"Missing" ofType:@"txt" inDirectory:@"stylesheets"]);
    std::fflush(stdout);
    [pool release];
    return 0;
}
