#include "SimulatedKeyboard.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

using namespace simkbd;
using namespace std::chrono_literals;

namespace {

constexpr std::uint8_t kIn = 0x80;
constexpr std::uint8_t kDfuOut = 0x21;
constexpr std::uint8_t kDfuIn = 0xA1;

std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

std::string sha256(const std::vector<std::uint8_t>& bytes) {
  std::unique_ptr<GChecksum, decltype(&g_checksum_free)> c(g_checksum_new(G_CHECKSUM_SHA256), &g_checksum_free);
  g_checksum_update(c.get(), bytes.data(), static_cast<gssize>(bytes.size()));
  return g_checksum_get_string(c.get());
}

std::vector<std::uint8_t> pattern(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
  return image;
}

struct Status {
  std::uint8_t bStatus = 0xFF;
  std::uint32_t bwPollTimeout = 0;
  std::uint8_t bState = 0xFF;
};

// Drives the keyboard as a host would, with a clock of its own.
struct Host {
  explicit Host(KeyboardConfig config) : kbd(std::move(config), now) {}

  Clock::time_point now = Clock::time_point{} + 1h;
  SimulatedKeyboard kbd;

  ControlResult in(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::vector<std::uint8_t>& reply) {
    return kbd.control({type, request, value, index, static_cast<std::uint16_t>(reply.size())}, reply, now);
  }
  ControlResult out(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::vector<std::uint8_t> bytes = {}) {
    return kbd.control({type, request, value, index, static_cast<std::uint16_t>(bytes.size())}, bytes, now);
  }
  std::vector<std::uint8_t> descriptor(std::uint16_t value, std::uint16_t length = 512) {
    std::vector<std::uint8_t> reply(length);
    const ControlResult r = in(kIn, 6, value, 0, reply);
    reply.resize(r.kind == ControlResult::Ok ? r.length : 0);
    return reply;
  }

  std::uint16_t dfuInterface() const { return kbd.mode() == Mode::Normal ? 1 : 0; }
  ControlResult dfu(std::uint8_t request, std::uint16_t value = 0, std::vector<std::uint8_t> bytes = {}) {
    return out(kDfuOut, request, value, dfuInterface(), std::move(bytes));
  }
  Status getStatus() {
    std::vector<std::uint8_t> reply(6);
    Status s;
    if (in(kDfuIn, 3, 0, dfuInterface(), reply).kind != ControlResult::Ok) return s;
    return {reply[0], static_cast<std::uint32_t>(reply[1] | reply[2] << 8 | reply[3] << 16), reply[4]};
  }
  int getState() {
    std::vector<std::uint8_t> reply(1);
    return in(kDfuIn, 5, 0, dfuInterface(), reply).kind == ControlResult::Ok ? reply[0] : -1;
  }

  // Sends the image block by block as the updater does, polling after each
  // block until dfuDNLOAD-IDLE, then the zero-length end of data. Gives the
  // number of GETSTATUS requests, or -1 when the keyboard did not take a block.
  int download(const std::vector<std::uint8_t>& image, std::size_t transfer, unsigned maxPolls = 100) {
    int polls = 0;
    std::uint16_t block = 0;
    for (std::size_t offset = 0; offset < image.size(); offset += transfer, ++block) {
      const std::size_t n = std::min(transfer, image.size() - offset);
      if (dfu(1, block, {image.begin() + offset, image.begin() + offset + n}).kind != ControlResult::Ok) return -1;
      for (unsigned i = 0;; ++i) {
        const Status s = getStatus();
        ++polls;
        if (s.bStatus != OK || i == maxPolls) return -1;
        if (s.bState == dfuDNLOAD_IDLE) break;
        if (s.bState != dfuDNBUSY) return -1;
      }
    }
    return dfu(1, block).kind == ControlResult::Ok ? polls : -1;
  }

  // The tolerant manifestation the updater follows: GETSTATUS starts it, the
  // keyboard is back in dfuMANIFEST-SYNC once it is over, and the next
  // GETSTATUS answers dfuIDLE.
  void manifestTolerant() {
    EXPECT_EQ(getState(), dfuMANIFEST_SYNC);
    const Status manifesting = getStatus();
    EXPECT_EQ(manifesting.bState, dfuMANIFEST);
    EXPECT_EQ(manifesting.bwPollTimeout, kbd.config().manifestationMs);
    now += std::chrono::milliseconds(kbd.config().manifestationMs);
    EXPECT_EQ(getState(), dfuMANIFEST_SYNC);
    EXPECT_EQ(getStatus().bState, dfuIDLE);
  }

  std::vector<BusChange> advanceBy(std::chrono::milliseconds step) {
    now += step;
    return kbd.advance(now);
  }
};

KeyboardConfig updateMode(KeyboardConfig c = {}) {
  c.startInUpdateMode = true;
  return c;
}

using Changes = std::vector<BusChange>;
const Changes kLeft{BusChange::Left};
const Changes kArrived{BusChange::Arrived};

// Walks a configuration descriptor, checking that every length stays inside it.
struct ParsedConfiguration {
  std::vector<std::vector<std::uint8_t>> interfaces;  // interface descriptors in order
  std::vector<std::uint8_t> dfuFunctional;
};

ParsedConfiguration parseConfiguration(const std::vector<std::uint8_t>& c) {
  ParsedConfiguration parsed;
  EXPECT_EQ(u16(c, 2), c.size());
  std::size_t at = 0;
  while (at < c.size()) {
    const std::size_t length = c[at];
    EXPECT_GE(length, 2u);
    EXPECT_LE(at + length, c.size());
    if (length < 2 || at + length > c.size()) break;
    const std::vector<std::uint8_t> d(c.begin() + at, c.begin() + at + length);
    if (d[1] == 4) parsed.interfaces.push_back(d);
    if (d[1] == 0x21 && !parsed.interfaces.empty() && parsed.interfaces.back()[5] == 0xFE) parsed.dfuFunctional = d;
    at += length;
  }
  return parsed;
}

std::string asciiString(const std::vector<std::uint8_t>& d) {
  std::string s;
  for (std::size_t i = 2; i + 1 < d.size(); i += 2) s += static_cast<char>(d[i]);
  return s;
}

}  // namespace

TEST(SimulatedKeyboardDescriptors, NormalModeHasHidAndRuntimeDfuInterfaces) {
  KeyboardConfig config;
  config.transferSize = 1024;
  config.detachTimeoutMs = 1500;
  config.willDetach = false;
  Host h(config);

  const auto device = h.descriptor(0x0100);
  ASSERT_EQ(device.size(), 18u);
  EXPECT_EQ(u16(device, 2), 0x0200);
  EXPECT_EQ(device[7], 64);
  EXPECT_EQ(u16(device, 8), 0x17CC);
  EXPECT_EQ(u16(device, 10), 0x1350);
  EXPECT_EQ(u16(device, 12), 0x0044);  // version 68 as a plain number
  EXPECT_EQ((std::array{device[14], device[15], device[16], device[17]}), (std::array<std::uint8_t, 4>{1, 2, 3, 1}));

  const auto config9 = h.descriptor(0x0200, 9);
  ASSERT_EQ(config9.size(), 9u);
  const auto wire = h.descriptor(0x0200, u16(config9, 2));
  const ParsedConfiguration parsed = parseConfiguration(wire);
  ASSERT_EQ(parsed.interfaces.size(), 2u);
  EXPECT_EQ(wire[4], 2);  // bNumInterfaces
  EXPECT_EQ(parsed.interfaces[0][5], 3);  // HID
  EXPECT_EQ((std::vector(parsed.interfaces[1].begin() + 2, parsed.interfaces[1].begin() + 8)),
            (std::vector<std::uint8_t>{1, 0, 0, 0xFE, 1, 1}));
  ASSERT_EQ(parsed.dfuFunctional.size(), 9u);
  EXPECT_EQ(parsed.dfuFunctional[2], 0x05);  // download capable, manifestation tolerant, no will-detach
  EXPECT_EQ(u16(parsed.dfuFunctional, 3), 1500);
  EXPECT_EQ(u16(parsed.dfuFunctional, 5), 1024);
  EXPECT_EQ(u16(parsed.dfuFunctional, 7), 0x0110);

  std::vector<std::uint8_t> sysfs = device;
  sysfs.insert(sysfs.end(), wire.begin(), wire.end());
  EXPECT_EQ(h.kbd.sysfsDescriptors(), sysfs);

  EXPECT_EQ(h.descriptor(0x0300), (std::vector<std::uint8_t>{4, 3, 0x09, 0x04}));
  EXPECT_EQ(asciiString(h.descriptor(0x0301)), "ORVEL TARSIN");
  EXPECT_EQ(asciiString(h.descriptor(0x0302)), "VANTA Keyboard 49");
  EXPECT_EQ(asciiString(h.descriptor(0x0303)), "SIMKBD0001");
  EXPECT_EQ(h.descriptor(0x0303, 5).size(), 5u);  // cut to wLength
  EXPECT_TRUE(h.descriptor(0x0304).empty());
  EXPECT_TRUE(h.descriptor(0x0201).empty());
  EXPECT_TRUE(h.descriptor(0x0600).empty());
}

TEST(SimulatedKeyboardDescriptors, UpdateModeHasTheDfuInterfaceAlone) {
  KeyboardConfig config = updateMode();
  config.size = 88;
  config.serial.clear();
  config.manifestationTolerant = false;
  Host h(config);

  const auto device = h.descriptor(0x0100);
  EXPECT_EQ(u16(device, 10), 0x1412);
  EXPECT_EQ(device[16], 0);  // no serial-number string
  EXPECT_TRUE(h.descriptor(0x0303).empty());
  EXPECT_EQ(asciiString(h.descriptor(0x0302)), "VANTA Keyboard 88 DFU");

  const ParsedConfiguration parsed = parseConfiguration(h.descriptor(0x0200));
  ASSERT_EQ(parsed.interfaces.size(), 1u);
  EXPECT_EQ((std::vector(parsed.interfaces[0].begin() + 2, parsed.interfaces[0].begin() + 8)),
            (std::vector<std::uint8_t>{0, 0, 0, 0xFE, 1, 2}));
  ASSERT_EQ(parsed.dfuFunctional.size(), 9u);
  EXPECT_EQ(parsed.dfuFunctional[2], 0x09);  // download capable, will detach
}

TEST(SimulatedKeyboardDescriptors, ProductIdsOfEachFamilyAndOfAnOtherDevice) {
  const std::array<std::pair<unsigned, int>, 4> families{{{25, 0x1340}, {49, 0x1350}, {61, 0x1360}, {88, 0x1410}}};
  for (const auto& [size, normal] : families) {
    KeyboardConfig config;
    config.size = size;
    EXPECT_EQ(Host(config).kbd.productId(), normal);
    EXPECT_EQ(Host(updateMode(config)).kbd.productId(), normal + 2);
  }
  KeyboardConfig other = updateMode();
  other.productId = 0x2345;
  EXPECT_EQ(Host(other).kbd.productId(), 0x2342);
  EXPECT_EQ(Host(KeyboardConfig{}).kbd.config().newSecondVersion, 13);
}

TEST(SimulatedKeyboardDescriptors, LyingLengthsOnTheWireOnly) {
  KeyboardConfig config;
  config.badConfigDescriptor = true;
  Host h(config);
  const auto wire = h.descriptor(0x0200, 0xFFFF);
  EXPECT_GT(u16(wire, 2), wire.size());
  // The last interface descriptor claims more bytes than the descriptor holds.
  std::size_t at = 0;
  bool overruns = false;
  while (at + 1 < wire.size() && wire[at] != 0) {
    if (wire[1 + at] == 4 && at + wire[at] > wire.size()) overruns = true;
    at += wire[at];
  }
  EXPECT_TRUE(overruns);

  const auto sysfs = h.kbd.sysfsDescriptors();
  const std::vector<std::uint8_t> honest(sysfs.begin() + 18, sysfs.end());
  EXPECT_EQ(parseConfiguration(honest).interfaces.size(), 2u);
}

TEST(SimulatedKeyboardDownload, CompleteDownloadInstallsTheImage) {
  KeyboardConfig config = updateMode();
  config.busyPolls = 2;
  config.pollTimeoutMs = 0x012345;  // all three bytes of bwPollTimeout
  Host h(config);
  const auto image = pattern(94720 + 100);  // a remainder block at the end

  EXPECT_EQ(h.getStatus().bState, dfuIDLE);
  h.now += 5ms;
  ASSERT_EQ(h.dfu(1, 0, {image.begin(), image.begin() + 256}).kind, ControlResult::Ok);
  const Status busy = h.getStatus();
  EXPECT_EQ(busy.bState, dfuDNBUSY);
  EXPECT_EQ(busy.bwPollTimeout, 0x012345u);
  EXPECT_EQ(h.getStatus().bState, dfuDNBUSY);
  EXPECT_EQ(h.getStatus().bState, dfuDNLOAD_IDLE);
  EXPECT_EQ(h.kbd.report()["applicationValid"], false);
  ASSERT_EQ(h.dfu(6).kind, ControlResult::Ok);  // ABORT: start again from block 0

  const std::size_t blocks = image.size() / 256 + 1;
  h.now += 10ms;
  EXPECT_EQ(h.download(image, 256), static_cast<int>(3 * blocks));
  h.manifestTolerant();

  const nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["mainImage"]["size"], image.size());
  EXPECT_EQ(report["mainImage"]["sha256"], sha256(image));
  EXPECT_EQ(report["mainImage"]["complete"], true);
  EXPECT_EQ(report["applicationValid"], true);
  EXPECT_EQ(report["mainVersion"], 69);
  EXPECT_EQ(report["mode"], "update");
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], blocks + 2);
  EXPECT_EQ(report["requestCounts"]["ABORT"], 1);
  EXPECT_EQ(report["times"]["firstDnloadMs"], 15);  // of the download that completed
  EXPECT_EQ(report["times"]["endOfDataMs"], 15);
  const nlohmann::json& last = report["requests"].back();
  EXPECT_EQ(last["bRequest"], 3);
  EXPECT_EQ(last["wLength"], 6);
  EXPECT_EQ(report["enumerations"], 1);

  // Leaving update mode now starts the new application.
  ASSERT_EQ(h.dfu(0, 1000).kind, ControlResult::Ok);
  EXPECT_EQ(h.advanceBy(0ms), kLeft);
  EXPECT_EQ(h.advanceBy(200ms), kArrived);
  EXPECT_EQ(h.kbd.mode(), Mode::Normal);
  EXPECT_EQ(h.kbd.mainVersion(), 69);
}

TEST(SimulatedKeyboardDownload, StateDiagramRefusals) {
  Host h(updateMode());
  EXPECT_EQ(h.dfu(1, 0).kind, ControlResult::Stall);  // no data to end
  EXPECT_EQ(h.getStatus().bStatus, errNOTDONE);
  EXPECT_EQ(h.getState(), dfuERROR);
  EXPECT_EQ(h.dfu(6).kind, ControlResult::Stall);  // ABORT does not clear an error
  EXPECT_EQ(h.dfu(4).kind, ControlResult::Ok);
  EXPECT_EQ(h.getStatus().bState, dfuIDLE);

  std::vector<std::uint8_t> reply(16);
  EXPECT_EQ(h.in(kDfuIn, 2, 0, 0, reply).kind, ControlResult::Stall);  // no upload
  EXPECT_EQ(h.getStatus().bStatus, errSTALLEDPKT);
  h.dfu(4);
  EXPECT_EQ(h.out(kDfuOut, 1, 0, 1, {1, 2}).kind, ControlResult::Stall);  // wrong interface
  EXPECT_EQ(h.out(0x40, 0x77, 0, 0).kind, ControlResult::Stall);
  EXPECT_EQ(h.getState(), dfuIDLE);

  // A block number out of sequence is taken anyway, as real loaders do.
  ASSERT_EQ(h.dfu(1, 5, {1, 2, 3}).kind, ControlResult::Ok);
  EXPECT_EQ(h.dfu(1, 1, {4}).kind, ControlResult::Stall);  // not polled yet
  EXPECT_EQ(h.kbd.state(), dfuERROR);
}

TEST(SimulatedKeyboardDownload, ManifestationIntolerantKeyboardRestartsByItself) {
  KeyboardConfig config = updateMode();
  config.manifestationTolerant = false;
  config.manifestationMs = 300;
  config.reenumerateDelayMs = 700;
  Host h(config);
  ASSERT_GE(h.download(pattern(1024), 256), 0);
  EXPECT_EQ(h.getState(), dfuMANIFEST_SYNC);
  EXPECT_EQ(h.getStatus().bState, dfuMANIFEST);
  EXPECT_EQ(h.kbd.nextBusChange(), h.now + 300ms);

  h.now += 100ms;
  EXPECT_EQ(h.getState(), dfuMANIFEST);
  EXPECT_EQ(h.getStatus().bwPollTimeout, 200u);
  EXPECT_EQ(h.advanceBy(5s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(h.kbd.mode(), Mode::Normal);
  EXPECT_EQ(h.kbd.productId(), 0x1350);
  EXPECT_EQ(h.kbd.mainVersion(), 69);
  EXPECT_EQ(h.kbd.report()["serial"], "SIMKBD0001");
  EXPECT_EQ(h.kbd.report()["enumerations"], 2);
  EXPECT_EQ(h.kbd.nextBusChange(), std::nullopt);
}

TEST(SimulatedKeyboardDownload, IncompleteDownloadKeepsTheKeyboardInUpdateMode) {
  Host h(updateMode());
  const auto image = pattern(2048);
  ASSERT_EQ(h.dfu(1, 0, {image.begin(), image.begin() + 256}).kind, ControlResult::Ok);
  EXPECT_EQ(h.getStatus().bState, dfuDNLOAD_IDLE);
  ASSERT_EQ(h.dfu(6).kind, ControlResult::Ok);
  EXPECT_EQ(h.getState(), dfuIDLE);

  for (int attempt = 0; attempt < 2; ++attempt) {
    // Vendor reset then DETACH: the loader comes back each time.
    ASSERT_EQ(attempt == 0 ? h.dfu(0xF3).kind : h.dfu(0, 1000).kind, ControlResult::Ok);
    EXPECT_EQ(h.advanceBy(1ms), kLeft);
    EXPECT_EQ(h.advanceBy(200ms), kArrived);
    EXPECT_EQ(h.kbd.mode(), Mode::Update);
    EXPECT_EQ(h.kbd.mainVersion(), 68);
  }

  ASSERT_GE(h.download(image, 256), 0);
  h.manifestTolerant();
  ASSERT_EQ(h.dfu(0xF3).kind, ControlResult::Ok);
  EXPECT_EQ(h.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(h.kbd.mode(), Mode::Normal);
  EXPECT_EQ(h.kbd.report()["enumerations"], 4);
}

TEST(SimulatedKeyboardFaults, FailBlockReportsAWriteErrorOnce) {
  KeyboardConfig config = updateMode();
  config.failBlock = 2;
  Host h(config);
  const auto image = pattern(1024);
  EXPECT_EQ(h.download(image, 256), -1);
  EXPECT_EQ(h.kbd.state(), dfuERROR);
  EXPECT_EQ(h.getStatus().bStatus, errWRITE);
  EXPECT_EQ(h.kbd.report()["requestCounts"]["DNLOAD"], 3);
  ASSERT_EQ(h.dfu(4).kind, ControlResult::Ok);
  EXPECT_GE(h.download(image, 256), 0);
}

TEST(SimulatedKeyboardFaults, UnplugBlockComesBackInUpdateModeWithoutApplication) {
  KeyboardConfig config;
  config.unplugBlock = 3;
  Host h(config);
  h.out(kDfuOut, 0xF2, 0, 1);
  h.advanceBy(1s);
  ASSERT_EQ(h.kbd.mode(), Mode::Update);

  EXPECT_EQ(h.download(pattern(2048), 256), -1);
  EXPECT_FALSE(h.kbd.onBus());
  EXPECT_EQ(h.kbd.nextBusChange(), h.now);
  EXPECT_EQ(h.dfu(1, 4, {1}).kind, ControlResult::Gone);
  EXPECT_EQ(h.advanceBy(999ms), kLeft);
  EXPECT_EQ(h.advanceBy(1ms), kArrived);
  EXPECT_EQ(h.kbd.mode(), Mode::Update);
  const nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["applicationValid"], false);
  EXPECT_EQ(report["mainImage"]["size"], 3 * 256);
  EXPECT_EQ(report["mainImage"]["complete"], false);
  EXPECT_EQ(report["enumerations"], 3);
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 4);  // the request that was cut off is logged
}

TEST(SimulatedKeyboardFaults, StatusFaults) {
  {
    KeyboardConfig config = updateMode();
    config.stateAfterBlock = {{1, dfuDNLOAD_SYNC}};
    Host h(config);
    EXPECT_EQ(h.download(pattern(1024), 256), -1);
    EXPECT_EQ(h.getStatus().bState, dfuDNLOAD_SYNC);
    EXPECT_EQ(h.getState(), dfuDNLOAD_SYNC);
    ASSERT_EQ(h.dfu(6).kind, ControlResult::Ok);
    EXPECT_EQ(h.getState(), dfuIDLE);
  }
  {
    KeyboardConfig config = updateMode();
    config.shortStatus = true;
    Host h(config);
    std::vector<std::uint8_t> reply(6, 0xEE);
    const ControlResult r = h.in(kDfuIn, 3, 0, 0, reply);
    EXPECT_EQ(r.kind, ControlResult::Ok);
    EXPECT_EQ(r.length, 3u);
    EXPECT_EQ(reply[3], 0xEE);
  }
  {
    KeyboardConfig config = updateMode();
    config.stallRequests = {3};
    Host h(config);
    EXPECT_EQ(h.getStatus().bStatus, 0xFF);
    EXPECT_EQ(h.getState(), dfuIDLE);
    EXPECT_EQ(h.kbd.report()["requestCounts"]["GETSTATUS"], 1);
  }
  {
    KeyboardConfig config = updateMode();
    config.busyForever = true;
    config.pollTimeoutMs = 5000;
    Host h(config);
    EXPECT_EQ(h.download(pattern(256), 256, 50), -1);
    EXPECT_EQ(h.kbd.report()["requestCounts"]["GETSTATUS"], 51);
    EXPECT_EQ(h.getStatus().bwPollTimeout, 5000u);
  }
}

TEST(SimulatedKeyboardBus, DetachWithAndWithoutWillDetach) {
  {
    KeyboardConfig config;
    config.reenumerateDelayMs = 2500;
    Host h(config);
    ASSERT_EQ(h.dfu(0, 1000).kind, ControlResult::Ok);
    EXPECT_FALSE(h.kbd.onBus());
    EXPECT_LE(h.kbd.nextBusChange(), h.now);
    EXPECT_EQ(h.getStatus().bState, 0xFF);  // gone
    EXPECT_FALSE(h.kbd.usbReset(h.now));
    EXPECT_EQ(h.advanceBy(0ms), kLeft);
    EXPECT_EQ(h.kbd.nextBusChange(), h.now + 2500ms);
    EXPECT_EQ(h.advanceBy(2499ms), Changes{});
    EXPECT_EQ(h.advanceBy(1ms), kArrived);
    EXPECT_EQ(h.kbd.productId(), 0x1352);
    EXPECT_EQ(h.getStatus().bState, dfuIDLE);
  }
  {
    KeyboardConfig config;
    config.willDetach = false;
    Host h(config);
    ASSERT_EQ(h.dfu(0, 1000).kind, ControlResult::Ok);
    EXPECT_EQ(h.getStatus().bState, appDETACH);
    EXPECT_EQ(h.kbd.nextBusChange(), std::nullopt);
    h.now += 1001ms;  // no reset within wDetachTimeOut: back to normal operation
    EXPECT_EQ(h.getState(), appIDLE);
    EXPECT_TRUE(h.kbd.usbReset(h.now));
    EXPECT_EQ(h.kbd.advance(h.now), Changes{});

    ASSERT_EQ(h.dfu(0, 1000).kind, ControlResult::Ok);
    h.now += 500ms;
    EXPECT_TRUE(h.kbd.usbReset(h.now));
    EXPECT_EQ(h.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
    EXPECT_EQ(h.kbd.mode(), Mode::Update);
    EXPECT_EQ(h.kbd.report()["requestCounts"]["USB_RESET"], 2);
  }
}

TEST(SimulatedKeyboardBus, VendorResets) {
  Host h(KeyboardConfig{});
  EXPECT_EQ(h.out(kDfuOut, 0xF3, 0, 1).kind, ControlResult::Stall);
  ASSERT_EQ(h.out(kDfuOut, 0xF2, 0, 1).kind, ControlResult::Ok);
  EXPECT_EQ(h.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
  ASSERT_EQ(h.kbd.mode(), Mode::Update);
  EXPECT_EQ(h.out(kDfuOut, 0xF2, 0, 0).kind, ControlResult::Stall);
  ASSERT_EQ(h.out(kDfuOut, 0xF3, 0, 0).kind, ControlResult::Ok);
  EXPECT_EQ(h.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(h.kbd.mode(), Mode::Normal);  // the application was never broken
  EXPECT_EQ(h.kbd.report()["requestCounts"]["RESET_INTO_UPDATE"], 2);

  KeyboardConfig lost;
  lost.noReenumerate = true;
  Host gone(lost);
  ASSERT_EQ(gone.out(kDfuOut, 0xF2, 0, 1).kind, ControlResult::Ok);
  EXPECT_EQ(gone.advanceBy(1h), kLeft);
  EXPECT_EQ(gone.kbd.nextBusChange(), std::nullopt);
  EXPECT_EQ(gone.kbd.report()["onBus"], false);
}

TEST(SimulatedKeyboardVendor, CustomImageWritesAndVersionRead) {
  Host h(updateMode());
  std::vector<std::uint8_t> version(2);
  ASSERT_EQ(h.in(0xC0, 0xB3, 0, 29, version).kind, ControlResult::Ok);
  EXPECT_EQ(version, (std::vector<std::uint8_t>{12, 0}));

  const auto image = pattern(17192);
  for (std::uint16_t block = 0; block * 256u <= image.size(); ++block) {
    const std::size_t n = std::min<std::size_t>(256, image.size() - block * 256u);
    ASSERT_EQ(h.out(0x41, 29, block, 0, {image.begin() + block * 256, image.begin() + block * 256 + n}).kind,
              ControlResult::Ok);
  }
  nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["secondImage"]["size"], 17192);
  EXPECT_EQ(report["secondImage"]["sha256"], sha256(image));
  EXPECT_EQ(report["secondImage"]["complete"], true);
  EXPECT_EQ(report["secondVersion"], 13);
  EXPECT_EQ(report["requestCounts"]["CUSTOM_WRITE"], 68);

  const auto two = pattern(512);
  h.out(0x41, 29, 0, 0, {two.begin(), two.begin() + 256});
  h.out(0x41, 29, 1, 0, {two.begin() + 256, two.end()});
  EXPECT_EQ(h.kbd.report()["secondImage"]["complete"], false);
  ASSERT_EQ(h.out(0x41, 29, 2, 0).kind, ControlResult::Ok);
  report = h.kbd.report();
  EXPECT_EQ(report["secondImage"]["size"], 512);
  EXPECT_EQ(report["secondImage"]["sha256"], sha256(two));

  EXPECT_EQ(h.in(0xC0, 0xB3, 0, 30, version).kind, ControlResult::Stall);
  std::vector<std::uint8_t> oneByte(1);
  EXPECT_EQ(h.in(0xC0, 0xB3, 0, 29, oneByte).kind, ControlResult::Stall);

  Host normal(KeyboardConfig{});
  EXPECT_EQ(normal.out(0x41, 29, 0, 0, {1}).kind, ControlResult::Stall);
  ASSERT_EQ(normal.in(0xC0, 0xB3, 0, 29, version).kind, ControlResult::Ok);
  EXPECT_EQ(version[0], 12);
}

TEST(SimulatedKeyboardRequests, RepliesStayInsideTheBuffers) {
  Host h(updateMode());
  // The span offered is smaller than wLength: the keyboard writes only into it.
  const std::array<std::uint8_t, 2> guard{0xEE, 0xEE};
  std::vector<std::uint8_t> buffer(6, 0xEE);
  const ControlResult r = h.kbd.control({kIn, 6, 0x0100, 0, 18}, std::span(buffer).first(4), h.now);
  EXPECT_EQ(r.length, 4u);
  EXPECT_TRUE(std::equal(guard.begin(), guard.end(), buffer.begin() + 4));

  // An OUT request whose data is shorter than wLength uses what is there.
  std::vector<std::uint8_t> data{1, 2, 3};
  EXPECT_EQ(h.kbd.control({kDfuOut, 1, 0, 0, 256}, data, h.now).length, 3u);
  EXPECT_EQ(h.kbd.report()["mainImage"]["size"], 3);

  std::vector<std::uint8_t> status(2);
  EXPECT_EQ(h.in(kIn, 0, 0, 0, status).length, 2u);
  std::vector<std::uint8_t> configuration(1);
  ASSERT_EQ(h.in(kIn, 8, 0, 0, configuration).kind, ControlResult::Ok);
  EXPECT_EQ(configuration[0], 1);
  const nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["requestCounts"]["GET_CONFIGURATION"], 1);
  EXPECT_EQ(report["requests"].size(), 4u);
}
