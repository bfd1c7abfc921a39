#include "SimulatedKeyboardFixture.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <libusb.h>

#include "USB/Linux/DeviceTable.h"

namespace QV::TestSupport {

namespace {

using QDV2::LINUX::DeviceReference;
using QDV2::LINUX::DeviceTable;

constexpr std::chrono::milliseconds kPollInterval{5};

simkbd::KeyboardHost* s_host = nullptr;
std::string s_hostError;

// Runs at exit, before the objects built earlier than the host go, so the
// test bed's folder is removed. No libusb handle is open by then: the tests'
// devices are gone with the tests.
void destroyHost() {
  delete s_host;
  s_host = nullptr;
}

struct BusAddress {
  unsigned bus = 0;
  unsigned address = 0;
};

// "/dev/bus/usb/BBB/DDD", as the host names the usbfs node.
bool parseDevnode(const std::string& devnode, BusAddress& where) {
  return std::sscanf(devnode.c_str(), "/dev/bus/usb/%u/%u", &where.bus, &where.address) == 2;
}

// The device libusb lists at `where`, with a table reference; empty when none.
DeviceReference findListed(const BusAddress& where) {
  DeviceReference found;
  for (QDV2::USBDeviceOSHandle handle : DeviceTable::instance().enumerate()) {
    DeviceReference listed = DeviceReference::adopt(handle);
    if (libusb_get_bus_number(listed.device()) == where.bus &&
        libusb_get_device_address(listed.device()) == where.address) {
      found = std::move(listed);
    }
  }
  return found;
}

}  // namespace

struct PluggedKeyboard::Appearance {
  BusAddress where;
  DeviceReference reference;
};

simkbd::KeyboardHost* keyboardHost(std::string* error) {
  static std::once_flag once;
  std::call_once(once, [] {
    if (DeviceTable::instance().hasContext()) {
      s_hostError =
          "libusb was started before the keyboard host, so it will not see the host's keyboards; "
          "create the host (keyboardHost()) before the code under test first uses USB";
      return;
    }
    std::unique_ptr<simkbd::KeyboardHost> host = simkbd::KeyboardHost::create(s_hostError);
    if (host) {
      s_host = host.release();
      std::atexit(&destroyHost);
    }
  });
  if (s_host == nullptr && error != nullptr) {
    *error = s_hostError;
  }
  return s_host;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::unique_ptr<PluggedKeyboard> PluggedKeyboard::plug(const simkbd::KeyboardConfig& config,
                                                       std::string& error,
                                                       std::chrono::milliseconds timeout) {
  simkbd::KeyboardHost* host = keyboardHost(&error);
  if (host == nullptr) {
    return nullptr;
  }
  const int id = host->plug(config);
  if (id < 0) {
    error = "the keyboard host refused the keyboard";
    return nullptr;
  }
  std::unique_ptr<PluggedKeyboard> keyboard(new PluggedKeyboard(id, config));
  if (keyboard->waitUntilListed(timeout) == 0) {
    error = "libusb did not list " + keyboard->description() + " in time";
    return nullptr;
  }
  return keyboard;
}

PluggedKeyboard::PluggedKeyboard(int id, const simkbd::KeyboardConfig& config)
    : m_id(id), m_config(config), m_appearance(std::make_unique<Appearance>()) {}

PluggedKeyboard::~PluggedKeyboard() { unplug(); }

QDV2::USBDeviceOSHandle PluggedKeyboard::waitUntilListed(std::chrono::milliseconds timeout) {
  m_appearance->reference.reset();
  waitUntil(
      [this] {
        BusAddress where;
        if (!parseDevnode(keyboardHost()->devnode(m_id), where)) {
          return false;
        }
        m_appearance->where = where;
        m_appearance->reference = findListed(where);
        return bool(m_appearance->reference);
      },
      timeout);
  return handle();
}

QDV2::USBDeviceOSHandle PluggedKeyboard::handle() const { return m_appearance->reference.handle(); }

bool PluggedKeyboard::unplug(std::chrono::milliseconds timeout) {
  if (!m_plugged) {
    return true;
  }
  m_plugged = false;
  m_appearance->reference.reset();
  // The address of the appearance on the bus now, or of the last one seen.
  BusAddress where = m_appearance->where;
  parseDevnode(keyboardHost()->devnode(m_id), where);
  keyboardHost()->unplug(m_id);
  return waitUntil([&where] { return !findListed(where); }, timeout);
}

nlohmann::json PluggedKeyboard::report() const { return keyboardHost()->report(m_id); }

std::string PluggedKeyboard::description() const { return keyboardHost()->description(m_id); }

simkbd::KeyboardConfig keyboardConfig(unsigned size, std::string serial, bool startInUpdateMode) {
  simkbd::KeyboardConfig config;
  config.size = size;
  config.serial = std::move(serial);
  config.startInUpdateMode = startInUpdateMode;
  return config;
}

QDV2::USBDevice::Request deviceDescriptorRequest(std::array<std::uint8_t, 18>& reply) {
  QDV2::USBDevice::Request request;
  request.bmRequestType = 0x80;
  request.bRequest = 6;
  request.wValue = 0x0100;
  request.wLength = std::uint16_t(reply.size());
  request.data = reply.data();
  return request;
}

std::vector<std::uint8_t> testImage(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> image(size);
  std::uint32_t x = 0x9E3779B9u ^ seed;
  for (std::uint8_t& byte : image) {
    x = x * 1664525u + 1013904223u;
    byte = std::uint8_t(x >> 24);
  }
  return image;
}

std::unique_ptr<PluggedKeyboard> plugOrFail(const simkbd::KeyboardConfig& config) {
  std::string error;
  std::unique_ptr<PluggedKeyboard> keyboard = PluggedKeyboard::plug(config, error);
  if (!keyboard) {
    ADD_FAILURE() << "cannot plug a keyboard: " << error;
  }
  return keyboard;
}

std::vector<std::unique_ptr<PluggedKeyboard>> SimulatedKeyboardTest::s_suiteKeyboards;
bool SimulatedKeyboardTest::s_suiteIncomplete = false;

void SimulatedKeyboardTest::SetUpTestSuite() {
  s_suiteIncomplete = false;
  std::string error;
  if (keyboardHost(&error) == nullptr) {
    s_suiteIncomplete = true;
    ADD_FAILURE() << error;
  }
}

void SimulatedKeyboardTest::TearDownTestSuite() { s_suiteKeyboards.clear(); }

PluggedKeyboard* SimulatedKeyboardTest::plugForSuite(const simkbd::KeyboardConfig& config) {
  std::unique_ptr<PluggedKeyboard> keyboard = plugOrFail(config);
  if (!keyboard) {
    s_suiteIncomplete = true;
    return nullptr;
  }
  s_suiteKeyboards.push_back(std::move(keyboard));
  return s_suiteKeyboards.back().get();
}

void SimulatedKeyboardTest::SetUp() {
  if (s_suiteIncomplete) {
    GTEST_FAIL() << "the suite's keyboards are not plugged";
  }
}

}  // namespace QV::TestSupport
