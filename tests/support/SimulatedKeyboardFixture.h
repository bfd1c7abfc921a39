// Simulated keyboards for tests that talk to them through the real libusb:
// the process's keyboard host, and a keyboard plugged for the life of an
// object, with waits (each with a deadline) until libusb lists it or no
// longer lists it.
//
// Such a test binary runs under umockdev-wrapper (qv_add_gtest ... UMOCKDEV).
// libusb only follows the umockdev test bed's devices when the bed exists by
// the time the process's libusb context is created, so a test suite calls
// keyboardHost() (plug() does) before the code under test first uses USB.
//
// Thread: the test's main thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "KeyboardHost.h"
#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceOSHandle.h"
#include "SimulatedKeyboard.h"

namespace QV::TestSupport {

// How long the waits below give libusb to notice an arrival or a departure.
// libusb learns of them from udev events that its own thread reads, a few
// milliseconds after the host announced them.
inline constexpr std::chrono::milliseconds kDeviceWaitTimeout{5000};

// The process's keyboard host, created on the first call and destroyed when
// the process exits. Null, with the reason in `error` when given, when the
// process does not run under umockdev-wrapper or when libusb was started
// before the first call.
simkbd::KeyboardHost* keyboardHost(std::string* error = nullptr);

// Calls `condition` every few milliseconds until it holds or `timeout` has
// passed; its last answer.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kDeviceWaitTimeout);

// One simulated keyboard on the process's host, unplugged when the object
// goes.
class PluggedKeyboard {
 public:
  // Plugs a keyboard with `config` and waits until libusb lists it. Null,
  // with the reason in `error`, when there is no host, the host refuses the
  // keyboard or libusb does not list it in time.
  static std::unique_ptr<PluggedKeyboard> plug(const simkbd::KeyboardConfig& config,
                                               std::string& error,
                                               std::chrono::milliseconds timeout = kDeviceWaitTimeout);

  ~PluggedKeyboard();
  PluggedKeyboard(const PluggedKeyboard&) = delete;
  PluggedKeyboard& operator=(const PluggedKeyboard&) = delete;

  // Waits until libusb lists the keyboard's current appearance on the bus
  // (after a re-enumeration, its new one) and returns its handle, which this
  // object holds until the next wait or unplug(). 0 when the keyboard is off
  // the bus or not listed in time.
  QDV2::USBDeviceOSHandle waitUntilListed(std::chrono::milliseconds timeout = kDeviceWaitTimeout);
  // The handle the last wait found; 0 when none.
  QDV2::USBDeviceOSHandle handle() const;

  // Takes the keyboard off the bus for good and waits until libusb no longer
  // lists its last appearance; false when it is still listed at the deadline.
  bool unplug(std::chrono::milliseconds timeout = kDeviceWaitTimeout);

  const simkbd::KeyboardConfig& config() const { return m_config; }
  // What the keyboard saw (SimulatedKeyboard::report).
  nlohmann::json report() const;
  // "VANTA Keyboard 49 (17cc:1350, serial SIMKBD0001)", for messages.
  std::string description() const;

 private:
  struct Appearance;
  PluggedKeyboard(int id, const simkbd::KeyboardConfig& config);

  int m_id;
  simkbd::KeyboardConfig m_config;
  bool m_plugged = true;
  std::unique_ptr<Appearance> m_appearance;
};

// A GoogleTest base that creates the keyboard host before its suite runs and
// holds the keyboards a suite plugs once for all its tests. A suite with a
// SetUpTestSuite of its own calls this one first and plugs its keyboards with
// plugForSuite(); they are unplugged after the suite.
class SimulatedKeyboardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  // A keyboard for the whole suite, owned by the base; null, with a failure,
  // when it cannot be plugged.
  static PluggedKeyboard* plugForSuite(const simkbd::KeyboardConfig& config);
  // Fails every test of a suite whose keyboards could not all be plugged.
  void SetUp() override;

 private:
  static std::vector<std::unique_ptr<PluggedKeyboard>> s_suiteKeyboards;
  static bool s_suiteIncomplete;
};

// The default keyboard with another size and serial number.
simkbd::KeyboardConfig keyboardConfig(unsigned size, std::string serial, bool startInUpdateMode = false);

// GET_DESCRIPTOR of the device descriptor, a standard read that any keyboard
// answers with its own ids (idProduct in bytes 10 and 11).
QDV2::USBDevice::Request deviceDescriptorRequest(std::array<std::uint8_t, 18>& reply);

// `size` bytes of an image that differs for each seed.
std::vector<std::uint8_t> testImage(std::size_t size, std::uint8_t seed);

// PluggedKeyboard::plug for a GoogleTest test: a keyboard that cannot be
// plugged fails the current test with the reason, and null comes back.
std::unique_ptr<PluggedKeyboard> plugOrFail(const simkbd::KeyboardConfig& config);

}  // namespace QV::TestSupport
