// Loaded into a GNUstep application with LD_PRELOAD, reports the moment the
// application finished launching: it writes "launched <ns> <pid>\n", the time
// on CLOCK_MONOTONIC in nanoseconds and the process id, to the file that
// QV_LAUNCH_REPORT names.
// Start-up benchmarks and GUI tests use it to measure or await any GNUstep
// application, ours or not, without changing it.
//
// The observer class is built at run time: this library's constructor may run
// before its own compiled classes are registered with the runtime, but after
// the libraries it links to (libobjc, gnustep-base) are ready.
#include <objc/runtime.h>
#include <objc/message.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

void report(id, SEL, id)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char* path = std::getenv("QV_LAUNCH_REPORT");
    if (!path)
        return;
    char line[64];
    const int length = std::snprintf(line, sizeof line, "launched %lld %d\n",
                                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                                     static_cast<int>(getpid()));
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (write(fd, line, static_cast<size_t>(length)) != length)
        std::perror("launch report");
    close(fd);
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

__attribute__((constructor)) void installObserver()
{
    if (!std::getenv("QV_LAUNCH_REPORT"))
        return;
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
