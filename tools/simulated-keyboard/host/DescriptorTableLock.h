// umockdev's preload library (0.17.16) keeps, in the memory of the process,
// tables of the descriptors that stand for an emulated device node (their
// requests go to the test bed) and for a device-event socket. open(), fopen()
// and socket() add to them, close() and fclose() take from them, and none of
// them takes a lock: two threads that open or close at once can write the
// same slot, and one record is lost. Its descriptor's requests then go to the
// plain file under the test bed and fail with ENOTTY (libusb: "submiturb
// failed, errno=25", and the request fails with an I/O error), and the record
// and the socket it held leak. Two threads that each scan for and connect to
// a keyboard over and over meet it every few hundred to few thousand
// connections, the more often the busier the machine.
//
// DescriptorTableLock.cpp defines those functions in front of umockdev's:
// each holds one recursive lock of the process while it calls the next
// definition, umockdev's. Programs that host keyboards link it, which puts it
// in front of every preloaded library; the command simulated-keyboard runs
// has it preloaded ahead of umockdev's library (ChildPreload.cpp).
//
// It uses nothing but the C library, so that programs without a C++ runtime
// can load it.
#pragma once

namespace simkbd {

// Whether this process's open() and close() are the locked ones, which
// therefore stand in front of umockdev's.
bool descriptorTablesLocked();

}  // namespace simkbd
