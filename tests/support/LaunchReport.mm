// Loaded into a GNUstep application with LD_PRELOAD, reports the moment the
// application finished launching: it writes "launched <ns> <pid>\n", the time
// on CLOCK_MONOTONIC in nanoseconds and the process id, to the file that
// QV_LAUNCH_REPORT names. It also reports the first paint, "painted <ns>
// <pid>\n": the moment the first window the user can see has had its drawing
// flushed to the display. That flush may put only a part of the window on
// the screen (its title bar, drawn again when the window takes the
// keyboard), and a flush before the window is mapped is lost: what the X
// server shows, and when, is for a watcher outside the program to tell (the
// start-up benchmark's DamageWatch).
// Start-up benchmarks and GUI tests use it to measure or await any GNUstep
// application, ours or not, without changing it.
//
// The observer class is built at run time: this library's constructor may run
// before its own compiled classes are registered with the runtime, but after
// the libraries it links to (libobjc, gnustep-base) are ready.
//
// The preload passes to every program the application starts, and to
// wrappers such as strace: only a process that has GNUstep's AppKit loaded
// installs the observer, and it takes the report's name out of the
// environment so that applications it starts do not report into it.
#include <objc/runtime.h>
#include <objc/message.h>

#include <fcntl.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char s_path[4096];
IMP s_flushWindow = nullptr;
bool s_painted = false;

void writeLine(const char* what)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char* path = s_path;
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%s %lld %d\n", what,
                                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                                     static_cast<int>(getpid()));
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (write(fd, line, static_cast<size_t>(length)) != length)
        std::perror("launch report");
    close(fd);
}

void report(id, SEL, id)
{
    writeLine("launched");
}

// Messages sent by name: the selectors compiled into this library are not
// registered yet either.
template <typename Result = id, typename... Args>
Result send(id receiver, const char* selector, Args... args)
{
    SEL name = sel_registerName(selector);
    using Function = Result (*)(id, SEL, Args...);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(objc_msg_lookup(receiver, name)))(receiver, name,
                                                                                           args...);
}

void flushWindow(id window, SEL command)
{
    reinterpret_cast<void (*)(id, SEL)>(reinterpret_cast<void (*)()>(s_flushWindow))(window, command);
    if (!s_painted && send<BOOL>(window, "isVisible")) {
        s_painted = true;
        writeLine("painted");
    }
}

int findAppKit(dl_phdr_info* info, size_t, void*)
{
    return info->dlpi_name && std::strstr(info->dlpi_name, "libgnustep-gui") != nullptr;
}

__attribute__((constructor)) void installObserver()
{
    const char* path = std::getenv("QV_LAUNCH_REPORT");
    if (!path || std::strlen(path) >= sizeof s_path || dl_iterate_phdr(&findAppKit, nullptr) == 0)
        return;
    std::strcpy(s_path, path);
    unsetenv("QV_LAUNCH_REPORT");
    if (Method flush = class_getInstanceMethod(objc_getClass("NSWindow"), sel_registerName("flushWindow")))
        s_flushWindow = method_setImplementation(flush, reinterpret_cast<IMP>(reinterpret_cast<void (*)()>(&flushWindow)));
    Class observerClass = objc_allocateClassPair(objc_getClass("NSObject"), "QVLaunchReportObserver", 0);
    if (!observerClass)
        return;
    class_addMethod(observerClass, sel_registerName("launchReported:"),
                    reinterpret_cast<IMP>(reinterpret_cast<void (*)()>(&report)), "v@:@");
    objc_registerClassPair(observerClass);
    id pool = send(send(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), "alloc"), "init");
    id observer = send(send(reinterpret_cast<id>(observerClass), "alloc"), "init");
    id name = send(reinterpret_cast<id>(objc_getClass("NSString")), "stringWithUTF8String:",
                   "NSApplicationDidFinishLaunchingNotification");
    id center = send(reinterpret_cast<id>(objc_getClass("NSNotificationCenter")), "defaultCenter");
    send<void>(center, "addObserver:selector:name:object:", observer, sel_registerName("launchReported:"), name,
               static_cast<id>(nil));
    send<void>(pool, "release");
}

} // namespace
