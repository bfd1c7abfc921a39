// Serves simulated keyboards as real usbfs devices through umockdev, so that
// the real libusb (in this process or in any child started after create())
// enumerates them, receives hot-plug notices and talks to them.
//
// Every keyboard sits on bus 1 at a root-hub port of its own, numbered as its
// id unless KeyboardConfig::port names one, and keeps that port when it
// re-enumerates, as a real keyboard does; only KeyboardConfig::reenumeratePort
// moves it.
//
// The process must run under umockdev's preload library (umockdev-wrapper).
// Every method is thread-safe. usbfs requests are answered on umockdev's
// worker thread; a thread of the host applies the bus changes the keyboards
// schedule (re-enumeration, departure after manifestation) when they fall due.
//
// One host per process at a time: umockdev points the process (through
// UMOCKDEV_DIR) at a single test bed. Close every libusb handle on the
// keyboards, and end libusb, before destroying the host.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "SimulatedKeyboard.h"

namespace simkbd {

class KeyboardHost {
 public:
  // Creates the umockdev test bed (and sets UMOCKDEV_DIR for this process and
  // its future children). Returns nothing, with `error` set, when the process
  // does not run under umockdev's preload library.
  static std::unique_ptr<KeyboardHost> create(std::string& error);
  // Whether umockdev's preload library is loaded into this process.
  static bool underPreloadLibrary();
  // Unplugs every keyboard and removes the test bed.
  ~KeyboardHost();
  KeyboardHost(const KeyboardHost&) = delete;
  KeyboardHost& operator=(const KeyboardHost&) = delete;

  // Adds a keyboard and returns its id (1, 2, ...) once it is on the bus,
  // or -1 when umockdev refused the device (the reason goes to stderr). A
  // keyboard configured to start unplugged is added off the bus.
  int plug(const KeyboardConfig& config);
  // Plugs in a keyboard that is off the bus with no return pending, as a
  // user would (SimulatedKeyboard::plugIn): it arrives as a re-enumerated
  // keyboard does, announced to libusb by a hot-plug event. Returns once it
  // is on the bus; false when it already was or was on its way back, when
  // unplug() took it off for good, or when umockdev refused it.
  bool plugIn(int id);
  // Takes the keyboard off the bus for good; its report stays available.
  void unplug(int id);

  // What the keyboard saw (SimulatedKeyboard::report), and of the control
  // requests it left unanswered, how many the program that sent them
  // cancelled ("requestsCancelled") and how many neither that program nor
  // the keyboard's leaving the bus ended: pending still, or when the program
  // closed the keyboard or exited ("requestsLeftPending"). Null for an
  // unknown id.
  nlohmann::json report(int id) const;
  // Whether the keyboard is on the bus now: added to the test bed and not gone.
  bool onBus(int id) const;
  // The usbfs node of its current appearance ("/dev/bus/usb/001/002"); empty
  // while it is off the bus.
  std::string devnode(int id) const;
  // "VANTA Keyboard 49 (17cc:1350, serial SIMKBD0001)", for messages.
  std::string description(int id) const;

 private:
  struct Impl;
  explicit KeyboardHost(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

}  // namespace simkbd
