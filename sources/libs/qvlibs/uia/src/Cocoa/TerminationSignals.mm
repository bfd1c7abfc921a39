// The signals by which a session asks a program to end: SIGTERM (logout,
// kill), SIGINT (Control-C in its terminal) and SIGHUP (its terminal gone).
//
// GNUstep's X back end (0.29) catches SIGTERM and SIGINT as the platform
// application is created and runs terminate: inside the signal handler, on
// whichever thread the signal lands: the main thread at any point of its
// work, libusb's event thread or the update worker. Two signals close
// together (a process group ended, and the same signal passed on by a parent)
// ran it on two threads at once, shut the application down twice and freed
// its windows under the other. A handler of the layer's own replaces it: it
// only makes a descriptor readable, which is safe on any thread, and the main
// run loop ends the application from there, between two of its callbacks,
// as an approved quit would: the application is not asked first, as nobody
// is left to answer a question, and its shut-down runs once, on the main
// thread.
#include <QV/UIA/Application.h>

#include "Common/PlatformHooks.h"
#include "GNUstepHeaders.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace QV::UIA::DETAIL {

namespace {

constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

int s_signalled = -1;
// Kept for the life of the process: a signal may come while the application
// shuts down, and GNUstep's handler must not come back.
PlatformDescriptorWatch* s_watch = nullptr;

void noteEndingSignal(int)
{
    const int saved = errno;
    const std::uint64_t one = 1;
    (void)!write(s_signalled, &one, sizeof one);
    errno = saved;
}

// Main thread, from the run loop in any of its modes: a question open in its
// own loop does not hold the end back.
void endOnSignal()
{
    std::uint64_t count = 0;
    (void)!read(s_signalled, &count, sizeof count);
    Application* application = Application::getApplication();
    // Without an application the shut-down has run already (the run loop
    // turns only inside it then); with a quit pending, terminate: is on its
    // way, or running.
    if (!application || application->isQuitPending())
        return;
    // Pending, the quit is not asked about again when the platform asks
    // whether to terminate.
    application->postQuit();
    [NSApp terminate:nil];
}

} // namespace

void watchTerminationSignals()
{
    // GNUstep installs its handler as the platform application is made; one
    // installed before would be replaced.
    if (s_signalled >= 0 || NSApp == nil)
        return;
    s_signalled = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (s_signalled < 0)
        return;
    s_watch = watchPlatformDescriptor(s_signalled, endOnSignal, true).release();
    if (!s_watch) {
        close(s_signalled);
        s_signalled = -1;
        return;
    }
    struct sigaction action = {};
    action.sa_handler = noteEndingSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kEndingSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : kEndingSignals) {
        struct sigaction previous = {};
        // A signal the program was started to ignore (nohup) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

} // namespace QV::UIA::DETAIL
