#include <QV/GP/CurrentDSOHandle.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>

#include <dlfcn.h>

#import <Foundation/NSAutoreleasePool.h>
#import <Foundation/NSBundle.h>
#import <Foundation/NSString.h>

namespace QV::GP {

namespace {

constexpr char kBundleExtension[] = ".app";

std::mutex s_cacheMutex;
CFBundleRef s_cachedBundle = nullptr;
bool s_cacheResolved = false;

// The application folder around an executable path: its directory, when that
// directory's name ends in ".app"; else empty.
std::string bundleDirectoryOf(const std::string& executable)
{
    const std::size_t slash = executable.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return {};
    const std::string directory = executable.substr(0, slash);
    const std::size_t extensionLength = sizeof kBundleExtension - 1;
    if (directory.size() <= extensionLength
        || directory.compare(directory.size() - extensionLength, extensionLength, kBundleExtension) != 0)
        return {};
    return directory;
}

} // namespace

CFBundleRef resolveCurrentDSOHandle()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&resolveCurrentDSOHandle), &info) == 0 || info.dli_fname == nullptr)
        return nullptr;
    // The image name is the path the loader was given; make it canonical so
    // that a relative start and symbolic links lead to the real folder.
    char canonical[PATH_MAX];
    if (realpath(info.dli_fname, canonical) == nullptr)
        return nullptr;
    const std::string directory = bundleDirectoryOf(canonical);
    if (directory.empty())
        return nullptr;

    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSString* path = [NSString stringWithUTF8String:directory.c_str()];
    NSBundle* bundle = path != nil ? [[NSBundle bundleWithPath:path] retain] : nil;
    [pool release];
    return (CFBundleRef)(void*)bundle;
}

CFBundleRef getCurrentDSOHandle()
{
    std::lock_guard<std::mutex> guard(s_cacheMutex);
    if (!s_cacheResolved) {
        s_cachedBundle = resolveCurrentDSOHandle();
        s_cacheResolved = true;
    }
    return s_cachedBundle;
}

void releaseCurrentDSOHandle()
{
    std::lock_guard<std::mutex> guard(s_cacheMutex);
    // Letting go of a bundle autoreleases inside GNUstep; without a pool that
    // logs a warning, and the log takes the bundle cache lock already held by
    // the release: the process deadlocks (GNUstep base 1.28).
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    [(NSBundle*)(void*)s_cachedBundle release];
    [pool release];
    s_cachedBundle = nullptr;
    s_cacheResolved = false;
}

std::string getCurrentDSOResourcePath()
{
    CFBundleRef handle = getCurrentDSOHandle();
    if (handle == nullptr)
        return {};
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSString* resources = [(NSBundle*)(void*)handle resourcePath];
    std::string path = resources != nil ? std::string([resources UTF8String]) : std::string();
    [pool release];
    return path;
}

} // namespace QV::GP
