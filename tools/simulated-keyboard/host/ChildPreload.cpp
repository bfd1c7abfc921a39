// Preloaded by simulated-keyboard into the command it runs (and so into every
// process that command starts), ahead of umockdev's own preload library, so
// that the locked open() and close() of DescriptorTableLock.cpp, linked in
// beside it, stand in front of umockdev's.
//
// umockdev's preload library (0.17.16) keeps, in the memory of the process,
// which of its descriptors stand for an emulated device node (their requests
// go to the test bed) and which for a device-event socket (their events are
// made to look as if they came from the kernel). It forgets a descriptor when
// close() is called on it. A child made with vfork() runs in its parent's
// memory until it calls exec, and a child that closes every descriptor it
// inherited before exec, as GNUstep's NSTask does when the application starts
// gdnc or make_services (GNUstep base 1.28), thereby empties the parent's
// tables: the parent's requests to the keyboard it holds open then go to a
// plain file and fail, and the device events it is sent no longer reach libusb.
//
// vfork() is therefore made a fork(): the child works on a copy of the
// memory, and the parent's tables stay whole. POSIX allows a vfork() that is a
// fork(); a program that uses vfork() properly does nothing in the child but
// exec or _exit, which a fork() serves alike. posix_spawn() needs nothing of
// the kind: glibc's child closes descriptors through calls of its own that
// umockdev does not intercept.
//
// It is built without the sanitizers, so that programs built without them
// (sh, dfu-util, GNUstep's daemons) can load it too.
#include <unistd.h>

extern "C" pid_t vfork() noexcept { return fork(); }
