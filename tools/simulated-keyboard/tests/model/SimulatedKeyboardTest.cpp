#include "SimulatedKeyboard.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <functional>
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
  std::unique_ptr<gchar, decltype(&g_free)> digest(
      g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes.data(), bytes.size()), &g_free);
  return digest.get();
}

// What the report says of an image received whole.
nlohmann::json complete(const std::vector<std::uint8_t>& image) {
  return {{"size", image.size()}, {"sha256", sha256(image)}, {"complete", true}};
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

  // Any DFU class request; GETSTATUS and GETSTATE read their reply.
  ControlResult request(std::uint8_t bRequest, std::vector<std::uint8_t> bytes = {}) {
    if (bRequest != 3 && bRequest != 5) return dfu(bRequest, 0, std::move(bytes));
    std::vector<std::uint8_t> reply(bRequest == 3 ? 6 : 1);
    return in(kDfuIn, bRequest, 0, dfuInterface(), reply);
  }

  // Sends the image block by block as the updater does, polling after each
  // block until dfuDNLOAD-IDLE and waiting out each dfuDNBUSY (at most 1 s,
  // whatever bwPollTimeout says), then the zero-length end of data. Gives the
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
        now += std::chrono::milliseconds(std::min<std::uint32_t>(s.bwPollTimeout, 1000));
      }
    }
    return dfu(1, block).kind == ControlResult::Ok ? polls : -1;
  }

  // Writes a second image in 256-byte vendor requests, ending with a short
  // (maybe empty) one, as the updater does; false when one was refused.
  bool writeSecond(const std::vector<std::uint8_t>& image) {
    for (std::size_t at = 0;; at += 256) {
      const std::size_t end = std::min(at + 256, image.size());
      const auto block = static_cast<std::uint16_t>(at / 256);
      if (out(0x41, 29, block, 0, {image.begin() + at, image.begin() + end}).kind != ControlResult::Ok) return false;
      if (end - at < 256) return true;
    }
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

// A keyboard of `keys` keys in update mode, with the normal-mode product id
// `productId` when it is not 0.
KeyboardConfig updateMode(unsigned keys, std::uint16_t productId) {
  KeyboardConfig c = updateMode();
  c.size = keys;
  if (productId != 0) c.productId = productId;
  return c;
}

constexpr std::size_t kMain49 = 94720;  // the sizes the 49-key keyboard believes
constexpr std::size_t kSecond49 = 17192;

using Changes = std::vector<BusChange>;
const Changes kLeft{BusChange::Left};
const Changes kArrived{BusChange::Arrived};

// The interface descriptors of a configuration descriptor and the DFU
// functional descriptor, checking that every length stays inside it.
struct ParsedConfiguration {
  std::vector<std::vector<std::uint8_t>> interfaces;
  std::vector<std::uint8_t> dfuFunctional;
};

ParsedConfiguration parseConfiguration(const std::vector<std::uint8_t>& c) {
  ParsedConfiguration parsed;
  EXPECT_EQ(u16(c, 2), c.size());
  for (std::size_t at = 0, length = 0; at < c.size(); at += length) {
    length = c[at];
    if (length < 2 || at + length > c.size()) {
      ADD_FAILURE() << "descriptor at " << at << " runs out";
      break;
    }
    const std::vector<std::uint8_t> d(c.begin() + at, c.begin() + at + length);
    if (d[1] == 4) parsed.interfaces.push_back(d);
    if (d[1] == 0x21 && !parsed.interfaces.empty() && parsed.interfaces.back()[5] == 0xFE) parsed.dfuFunctional = d;
  }
  return parsed;
}

std::string asciiString(const std::vector<std::uint8_t>& d) {
  std::string s;
  for (std::size_t i = 2; i + 1 < d.size(); i += 2) s += static_cast<char>(d[i]);
  return s;
}

}  // namespace

TEST(SimulatedKeyboardDescriptors, NormalAndUpdateModeDescriptors) {
  KeyboardConfig config;
  config.transferSize = 1024;
  config.detachTimeoutMs = 1500;
  config.willDetach = false;
  Host h(config);

  const auto device = h.descriptor(0x0100);
  ASSERT_EQ(device.size(), 18u);
  EXPECT_EQ(u16(device, 10), 0x1350);
  EXPECT_EQ(u16(device, 12), 68);  // bcdDevice: the main version as a plain number
  EXPECT_EQ(device[16], 3);        // iSerialNumber
  // Asked for its first 9 bytes, then for wTotalLength, as hosts read it.
  const auto wire = h.descriptor(0x0200, u16(h.descriptor(0x0200, 9), 2));
  const ParsedConfiguration parsed = parseConfiguration(wire);
  ASSERT_EQ(parsed.interfaces.size(), 2u);
  EXPECT_EQ(parsed.interfaces[0][5], 3);  // HID
  EXPECT_EQ(std::vector(parsed.interfaces[1].begin() + 2, parsed.interfaces[1].begin() + 8),
            (std::vector<std::uint8_t>{1, 0, 0, 0xFE, 1, 1}));
  ASSERT_EQ(parsed.dfuFunctional.size(), 9u);
  EXPECT_EQ(parsed.dfuFunctional[2], 0x05);  // download capable, manifestation tolerant, no will-detach
  EXPECT_EQ(u16(parsed.dfuFunctional, 3), 1500);
  EXPECT_EQ(u16(parsed.dfuFunctional, 5), 1024);
  std::vector<std::uint8_t> sysfs = device;
  sysfs.insert(sysfs.end(), wire.begin(), wire.end());
  EXPECT_EQ(h.kbd.sysfsDescriptors(), sysfs);

  EXPECT_EQ(asciiString(h.descriptor(0x0303)), "SIMKBD0001");
  EXPECT_EQ(h.descriptor(0x0303, 5).size(), 5u);  // cut to wLength
  for (std::uint16_t unknown : {0x0304, 0x0201, 0x0600}) EXPECT_TRUE(h.descriptor(unknown).empty()) << unknown;

  // Update mode: family + 2 (also for a product id outside the families),
  // the DFU interface alone, and no serial-number string when it has none.
  KeyboardConfig big = updateMode();
  big.size = 88;
  big.serial.clear();
  Host u(big);
  EXPECT_EQ(u16(u.descriptor(0x0100), 10), 0x1412);
  EXPECT_EQ(u.descriptor(0x0100)[16], 0);
  EXPECT_TRUE(u.descriptor(0x0303).empty());
  EXPECT_EQ(asciiString(u.descriptor(0x0302)), "VANTA Keyboard 88 DFU");
  const ParsedConfiguration loader = parseConfiguration(u.descriptor(0x0200));
  ASSERT_EQ(loader.interfaces.size(), 1u);
  EXPECT_EQ(std::vector(loader.interfaces[0].begin() + 2, loader.interfaces[0].begin() + 8),
            (std::vector<std::uint8_t>{0, 0, 0, 0xFE, 1, 2}));
  KeyboardConfig other = updateMode();
  other.productId = 0x2345;
  EXPECT_EQ(Host(other).kbd.productId(), 0x2342);
}

TEST(SimulatedKeyboardDescriptors, LyingLengthsOnTheWireOnly) {
  KeyboardConfig config;
  config.badConfigDescriptor = true;
  Host h(config);
  const auto wire = h.descriptor(0x0200, 0xFFFF);
  EXPECT_GT(u16(wire, 2), wire.size());
  // The last interface descriptor claims more bytes than the descriptor holds.
  std::size_t at = 0;
  while (wire[at] != 0 && at + wire[at] < wire.size()) at += wire[at];
  EXPECT_EQ(wire[at + 1], 4);
  const auto sysfs = h.kbd.sysfsDescriptors();
  EXPECT_EQ(parseConfiguration({sysfs.begin() + 18, sysfs.end()}).interfaces.size(), 2u);
}

TEST(SimulatedKeyboardDownload, CompleteDownloadInstallsTheImage) {
  KeyboardConfig config = updateMode();
  config.busyPolls = 2;
  config.pollTimeoutMs = 0x012345;  // all three bytes of bwPollTimeout
  Host h(config);
  const auto image = pattern(kMain49);

  // A first attempt aborted after one block. The keyboard is busy for its
  // poll timeout, but never longer than the second our updater waits at most.
  ASSERT_EQ(h.dfu(1, 0, {image.begin(), image.begin() + 256}).kind, ControlResult::Ok);
  const Status busy = h.getStatus();
  EXPECT_EQ(busy.bState, dfuDNBUSY);
  EXPECT_EQ(busy.bwPollTimeout, 0x012345u);
  h.now += 1s;
  EXPECT_EQ(h.getStatus().bState, dfuDNBUSY);
  h.now += 1s;
  EXPECT_EQ(h.getStatus().bState, dfuDNLOAD_IDLE);
  ASSERT_EQ(h.dfu(6).kind, ControlResult::Ok);
  EXPECT_EQ(h.getState(), dfuIDLE);
  EXPECT_EQ(h.kbd.report()["applicationValid"], false);
  // Without an application, leaving update mode by vendor reset or DETACH
  // brings the loader back.
  for (std::uint8_t leave : {0xF3, 0x00}) {
    ASSERT_EQ(h.dfu(leave, 1000).kind, ControlResult::Ok);
    EXPECT_EQ(h.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
    EXPECT_EQ(h.kbd.mode(), Mode::Update);
  }

  const std::size_t blocks = image.size() / 1000 + 1;  // a remainder block at the end
  h.now += 10ms;
  EXPECT_EQ(h.download(image, 1000), static_cast<int>(3 * blocks));
  // Tolerant manifestation: GETSTATUS starts it; once over, the keyboard is
  // back in dfuMANIFEST-SYNC and the next GETSTATUS answers dfuIDLE.
  EXPECT_EQ(h.getState(), dfuMANIFEST_SYNC);
  EXPECT_EQ(h.getStatus().bwPollTimeout, h.kbd.config().manifestationMs);
  EXPECT_EQ(h.kbd.state(), dfuMANIFEST);
  h.now += 100ms;
  EXPECT_EQ(h.getState(), dfuMANIFEST_SYNC);
  EXPECT_EQ(h.getStatus().bState, dfuIDLE);

  const nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["mainImage"], complete(image));
  EXPECT_EQ(report["applicationValid"], true);
  EXPECT_EQ(report["mainVersion"], 69);
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], blocks + 2);
  EXPECT_EQ(report["times"]["firstDnloadMs"], 4010);  // of the download that completed
  EXPECT_EQ(report["times"]["endOfDataMs"], 4010 + 2000 * blocks);
  EXPECT_EQ(report["requests"].back(),
            (nlohmann::json{{"bmRequestType", kDfuIn}, {"bRequest", 3}, {"wValue", 0}, {"wIndex", 0}, {"wLength", 6},
                            {"busy", false}}));

  // Leaving update mode now starts the new application.
  ASSERT_EQ(h.dfu(0xF3).kind, ControlResult::Ok);
  EXPECT_EQ(h.advanceBy(0ms), kLeft);
  EXPECT_EQ(h.advanceBy(200ms), kArrived);
  EXPECT_EQ(h.kbd.mode(), Mode::Normal);
  EXPECT_EQ(h.kbd.mainVersion(), 69);
}

TEST(SimulatedKeyboardDownload, StateDiagramRefusals) {
  Host h(updateMode());
  EXPECT_EQ(h.dfu(1, 0).kind, ControlResult::Stall);  // no data to end
  EXPECT_EQ(h.getStatus().bStatus, errNOTDONE);
  EXPECT_EQ(h.dfu(6).kind, ControlResult::Stall);  // ABORT does not clear an error
  EXPECT_EQ(h.dfu(4).kind, ControlResult::Ok);
  EXPECT_EQ(h.getStatus().bState, dfuIDLE);

  std::vector<std::uint8_t> reply(16);
  EXPECT_EQ(h.in(kDfuIn, 2, 0, 0, reply).kind, ControlResult::Stall);  // no upload
  EXPECT_EQ(h.getStatus().bStatus, errSTALLEDPKT);
  h.dfu(4);
  EXPECT_EQ(h.out(kDfuOut, 1, 0, 1, {1, 2}).kind, ControlResult::Stall);  // wrong interface
  EXPECT_EQ(h.out(0x40, 0x77, 0, 0).kind, ControlResult::Stall);          // unknown request
  EXPECT_EQ(h.getState(), dfuIDLE);

  // A block number out of sequence is taken anyway, as real loaders do.
  ASSERT_EQ(h.dfu(1, 5, {1, 2, 3}).kind, ControlResult::Ok);
  EXPECT_EQ(h.dfu(1, 1, {4}).kind, ControlResult::Stall);  // not polled yet
  EXPECT_EQ(h.kbd.state(), dfuERROR);
}

// Each row brings a keyboard in update mode to a state, waits, sends one DFU
// request and reads the outcome: what DFU 1.1 does not allow in a state, and
// anything while the keyboard is busy for the time it announced, is stalled
// and leaves dfuERROR with errSTALLEDPKT. The report tells whether the
// keyboard was busy, and counts what it refused then.
TEST(SimulatedKeyboardDownload, EachStateTakesOnlyWhatItAllows) {
  const auto block = [](Host& h) { ASSERT_EQ(h.dfu(1, 0, pattern(256)).kind, ControlResult::Ok); };
  const auto busy = [&](Host& h) {  // 50 ms announced
    block(h);
    ASSERT_EQ(h.getStatus().bState, dfuDNBUSY);
  };
  const auto dnloadIdle = [&](Host& h) {
    busy(h);
    h.now += 50ms;
    ASSERT_EQ(h.getStatus().bState, dfuDNLOAD_IDLE);
  };
  const auto error = [](Host& h) { ASSERT_EQ(h.dfu(1, 0).kind, ControlResult::Stall); };  // errNOTDONE
  const auto manifestSync = [](Host& h) { ASSERT_GE(h.download(pattern(kMain49), 4096), 0); };
  const auto manifest = [&](Host& h) {  // 100 ms announced
    manifestSync(h);
    ASSERT_EQ(h.getStatus().bState, dfuMANIFEST);
  };
  const auto nothing = [](Host&) {};
  constexpr std::uint8_t DNLOAD = 1, GETSTATUS = 3, CLRSTATUS = 4, GETSTATE = 5, ABORT = 6, DETACH = 0;
  constexpr auto Ok = ControlResult::Ok, Stall = ControlResult::Stall;
  enum Seen { Idle, Busy, Refused };  // not busy; busy and answered; busy and refused
  struct Row {
    const char* what;
    std::function<void(Host&)> arrange;
    std::chrono::milliseconds wait;
    std::uint8_t request;
    ControlResult::Kind kind;
    DfuState state;
    DfuStatus status;
    Seen seen = Idle;
    std::uint32_t pollTimeoutMs = 50;
    unsigned polls = 1;  // busy answers per block, and per manifestation beyond one
  };
  const Row rows[] = {
      {"dfuDNBUSY, GETSTATUS before its time", busy, 49ms, GETSTATUS, Stall, dfuERROR, errSTALLEDPKT, Refused},
      {"dfuDNBUSY, GETSTATE before its time", busy, 0ms, GETSTATE, Stall, dfuERROR, errSTALLEDPKT, Refused},
      {"dfuDNBUSY, ABORT before its time", busy, 49ms, ABORT, Stall, dfuERROR, errSTALLEDPKT, Refused},
      {"dfuDNBUSY, even DETACH before its time", busy, 0ms, DETACH, Stall, dfuERROR, errSTALLEDPKT, Refused},
      {"dfuDNBUSY, GETSTATUS once its time is over", busy, 50ms, GETSTATUS, Ok, dfuDNLOAD_IDLE, OK},
      {"dfuDNBUSY for 5 s announced, busy 1 s", busy, 1000ms, GETSTATUS, Ok, dfuDNLOAD_IDLE, OK, Idle, 5000},
      {"dfuDNBUSY for 5 s announced, still busy", busy, 999ms, GETSTATUS, Stall, dfuERROR, errSTALLEDPKT, Refused,
       5000},
      {"dfuDNBUSY over: dfuDNLOAD-SYNC takes no ABORT", busy, 50ms, ABORT, Stall, dfuERROR, errSTALLEDPKT},
      // Between two dfuDNBUSY answers the block is not yet taken.
      {"dfuDNBUSY again, GETSTATUS", busy, 50ms, GETSTATUS, Ok, dfuDNBUSY, OK, Busy, 50, 2},
      {"dfuDNBUSY again, ABORT", busy, 50ms, ABORT, Stall, dfuERROR, errSTALLEDPKT, Refused, 50, 2},
      {"dfuDNLOAD-SYNC, ABORT", block, 0ms, ABORT, Stall, dfuERROR, errSTALLEDPKT},
      {"dfuDNLOAD-SYNC, GETSTATE", block, 0ms, GETSTATE, Ok, dfuDNLOAD_SYNC, OK},
      {"dfuDNLOAD-IDLE, ABORT", dnloadIdle, 0ms, ABORT, Ok, dfuIDLE, OK},
      {"dfuDNLOAD-IDLE, CLRSTATUS", dnloadIdle, 0ms, CLRSTATUS, Stall, dfuERROR, errSTALLEDPKT},
      {"dfuIDLE, ABORT", nothing, 0ms, ABORT, Ok, dfuIDLE, OK},
      {"dfuIDLE, CLRSTATUS", nothing, 0ms, CLRSTATUS, Stall, dfuERROR, errSTALLEDPKT},
      {"dfuERROR, GETSTATUS", error, 0ms, GETSTATUS, Ok, dfuERROR, errNOTDONE},
      {"dfuERROR, ABORT", error, 0ms, ABORT, Stall, dfuERROR, errSTALLEDPKT},
      {"dfuERROR, DNLOAD", error, 0ms, DNLOAD, Stall, dfuERROR, errSTALLEDPKT},
      {"dfuERROR, CLRSTATUS", error, 0ms, CLRSTATUS, Ok, dfuIDLE, OK},
      {"dfuMANIFEST-SYNC, ABORT", manifestSync, 0ms, ABORT, Stall, dfuERROR, errSTALLEDPKT},
      {"dfuMANIFEST-SYNC, GETSTATE", manifestSync, 0ms, GETSTATE, Ok, dfuMANIFEST_SYNC, OK},
      {"dfuMANIFEST, GETSTATE before its time", manifest, 99ms, GETSTATE, Stall, dfuERROR, errSTALLEDPKT, Refused},
      {"dfuMANIFEST, GETSTATE once its time is over", manifest, 100ms, GETSTATE, Ok, dfuMANIFEST_SYNC, OK},
      {"dfuMANIFEST again, GETSTATE", manifest, 50ms, GETSTATE, Ok, dfuMANIFEST_SYNC, OK, Busy, 50, 2},
      {"dfuMANIFEST again, ABORT", manifest, 50ms, ABORT, Stall, dfuERROR, errSTALLEDPKT, Refused, 50, 2},
  };
  for (const Row& row : rows) {
    KeyboardConfig config = updateMode();
    config.busyPolls = row.polls;
    if (row.polls > 1) config.manifestPolls = row.polls;
    config.pollTimeoutMs = row.pollTimeoutMs;
    Host h(config);
    row.arrange(h);
    h.now += row.wait;
    EXPECT_EQ(h.request(row.request, row.request == DNLOAD ? pattern(256) : std::vector<std::uint8_t>{}).kind,
              row.kind)
        << row.what;
    const nlohmann::json report = h.kbd.report();
    EXPECT_EQ(h.kbd.state(), row.state) << row.what;
    EXPECT_EQ(report["status"], row.status) << row.what;
    EXPECT_EQ(report["requests"].back()["busy"], row.seen != Idle) << row.what;
    EXPECT_EQ(report["refusedWhileBusy"], row.seen == Refused ? 1 : 0) << row.what;
    EXPECT_TRUE(h.kbd.onBus()) << row.what;
  }
}

// A keyboard may come up in its loader still holding an error, or a download
// a host left half done; either way without an application.
TEST(SimulatedKeyboardDownload, StartStates) {
  for (const bool unplugged : {false, true}) {
    KeyboardConfig config = updateMode();
    config.startState = dfuERROR;
    config.startUnplugged = unplugged;  // the state is that of the first appearance
    Host e(config);
    if (unplugged) {
      ASSERT_TRUE(e.kbd.plugIn(e.now));
      e.advanceBy(0ms);
    }
    const Status s = e.getStatus();
    EXPECT_EQ(s.bState, dfuERROR);
    EXPECT_EQ(s.bStatus, errWRITE);
    EXPECT_EQ(e.kbd.report()["startState"], dfuERROR);
    EXPECT_EQ(e.kbd.report()["applicationValid"], false);
    ASSERT_EQ(e.dfu(4).kind, ControlResult::Ok);
    EXPECT_EQ(e.getState(), dfuIDLE);
  }

  KeyboardConfig config = updateMode();
  config.startState = dfuDNLOAD_IDLE;
  Host h(config);
  EXPECT_EQ(h.getState(), dfuDNLOAD_IDLE);
  nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["startState"], dfuDNLOAD_IDLE);
  EXPECT_EQ(report["mainImage"]["size"], 4 * 256);
  EXPECT_EQ(report["applicationValid"], false);
  // Leaving update mode finds no application: the loader comes back, idle.
  ASSERT_EQ(h.dfu(0).kind, ControlResult::Ok);
  EXPECT_EQ(h.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(h.kbd.mode(), Mode::Update);
  EXPECT_EQ(h.getState(), dfuIDLE);
  EXPECT_EQ(h.kbd.report()["startState"], dfuDNLOAD_IDLE);

  // A host that goes on with a whole image from where the keyboard stands
  // sends four blocks too many: the image is refused at manifestation.
  Host g(config);
  ASSERT_GE(g.download(pattern(kMain49), 256), 0);
  EXPECT_EQ(g.getStatus().bStatus, errVERIFY);
  // One that aborts first gets the image installed.
  Host a(config);
  ASSERT_EQ(a.dfu(6).kind, ControlResult::Ok);
  ASSERT_GE(a.download(pattern(kMain49), 256), 0);
  EXPECT_EQ(a.getStatus().bState, dfuMANIFEST);
}

// A main image is believed only at its family's size; any other is refused at
// the GETSTATUS that would start manifestation, and nothing is installed.
TEST(SimulatedKeyboardDownload, OnlyImagesOfTheFamilysSizeAreInstalled) {
  struct Row {
    unsigned keys;
    std::uint16_t productId;  // 0: the family's
    std::size_t size;
    bool believed;
  };
  const Row rows[] = {
      {25, 0, 93184, true},
      {49, 0, kMain49, true},
      {61, 0, 95488, true},
      {88, 0, 96512, true},
      {49, 0, kMain49 - 256, false},  // a block short
      {49, 0, kMain49 + 256, false},  // a block too many
      {49, 0, kMain49 + 1, false},
      {25, 0, kMain49, false},  // another family's image
      {88, 0, 95488, false},
      {49, 0x1351, kMain49, true},  // the family is that of the product id
      {49, 0x2345, 1000, true},     // outside the families: no size to check
  };
  for (const Row& row : rows) {
    Host h(updateMode(row.keys, row.productId));
    const auto image = pattern(row.size);
    ASSERT_GE(h.download(image, 4096), 0);
    const Status s = h.getStatus();
    EXPECT_EQ(s.bStatus, row.believed ? OK : errVERIFY) << row.keys << " keys, " << row.size << " bytes";
    EXPECT_EQ(s.bState, row.believed ? dfuMANIFEST : dfuERROR) << row.keys << " keys, " << row.size << " bytes";
    h.advanceBy(1s);  // manifestation over
    nlohmann::json expected = complete(image);
    expected["complete"] = row.believed;
    const nlohmann::json report = h.kbd.report();
    EXPECT_EQ(report["mainImage"], expected) << row.keys << " keys, " << row.size << " bytes";
    EXPECT_EQ(report["applicationValid"], row.believed) << row.keys << " keys, " << row.size << " bytes";
    EXPECT_EQ(report["mainVersion"], row.believed ? 69 : 68) << row.keys << " keys, " << row.size << " bytes";
    // Refused, it leaves update mode for its loader again.
    ASSERT_EQ(h.dfu(0).kind, ControlResult::Ok);
    h.advanceBy(1s);
    EXPECT_EQ(h.kbd.mode(), row.believed ? Mode::Normal : Mode::Update) << row.keys << " keys, " << row.size;
  }
}

TEST(SimulatedKeyboardDownload, ManifestationIntolerantKeyboardRestartsByItself) {
  KeyboardConfig config = updateMode();
  config.manifestationTolerant = false;
  config.manifestationMs = 300;
  config.reenumerateDelayMs = 700;
  Host h(config);
  ASSERT_GE(h.download(pattern(kMain49), 256), 0);
  EXPECT_EQ(h.getStatus().bState, dfuMANIFEST);
  EXPECT_EQ(h.kbd.nextBusChange(), h.now + 300ms);
  EXPECT_EQ(h.advanceBy(5s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(h.kbd.productId(), 0x1350);
  EXPECT_EQ(h.kbd.mainVersion(), 69);
  EXPECT_EQ(h.kbd.report()["enumerations"], 2);
  EXPECT_EQ(h.kbd.nextBusChange(), std::nullopt);
}

// Manifestation over several dfuMANIFEST answers, each announcing the poll
// timeout; a keyboard that is not manifestation tolerant is polled once.
TEST(SimulatedKeyboardDownload, ManifestationOverSeveralAnswers) {
  KeyboardConfig config = updateMode();
  config.manifestPolls = 3;
  config.pollTimeoutMs = 40;
  Host h(config);
  ASSERT_GE(h.download(pattern(kMain49), 4096), 0);
  for (int answer = 0; answer < 3; ++answer, h.now += 40ms) {
    const Status s = h.getStatus();
    EXPECT_EQ(s.bState, dfuMANIFEST) << answer;
    EXPECT_EQ(s.bwPollTimeout, 40u) << answer;
  }
  EXPECT_EQ(h.getStatus().bState, dfuIDLE);
  EXPECT_EQ(h.kbd.mainVersion(), 69);

  config.manifestationTolerant = false;
  Host i(config);
  ASSERT_GE(i.download(pattern(kMain49), 4096), 0);
  EXPECT_EQ(i.getStatus().bwPollTimeout, 100u);
  EXPECT_EQ(i.advanceBy(100ms), kLeft);
}

TEST(SimulatedKeyboardFaults, BlockFaultsStrikeOnce) {
  KeyboardConfig failing = updateMode();
  failing.failBlock = 2;
  Host f(failing);
  const auto image = pattern(2048);
  EXPECT_EQ(f.download(image, 256), -1);
  EXPECT_EQ(f.getStatus().bStatus, errWRITE);
  EXPECT_EQ(f.kbd.report()["requestCounts"]["DNLOAD"], 3);
  ASSERT_EQ(f.dfu(4).kind, ControlResult::Ok);
  EXPECT_GE(f.download(image, 256), 0);

  KeyboardConfig unplugging;
  unplugging.unplugBlock = 3;
  Host h(unplugging);
  h.out(kDfuOut, 0xF2, 0, 1);
  h.advanceBy(1s);
  ASSERT_EQ(h.kbd.mode(), Mode::Update);
  EXPECT_EQ(h.download(image, 256), -1);
  EXPECT_FALSE(h.kbd.onBus());
  EXPECT_EQ(h.dfu(1, 4, {1}).kind, ControlResult::Gone);
  EXPECT_EQ(h.advanceBy(999ms), kLeft);  // back a second later, as a user replugging it
  EXPECT_EQ(h.advanceBy(1ms), kArrived);
  EXPECT_EQ(h.kbd.mode(), Mode::Update);
  const nlohmann::json report = h.kbd.report();
  EXPECT_EQ(report["applicationValid"], false);
  EXPECT_EQ(report["mainImage"]["size"], 3 * 256);
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 4);  // the request that was cut off is logged
  EXPECT_GE(h.download(image, 256), 0);

  // A loader that hangs on a block answers nothing from then on, whatever is
  // asked, and keeps no part of that block. The request that ends the data
  // counts as the block after the last: hanging there, it never manifests.
  for (const std::uint32_t block : {2u, 8u}) {
    SCOPED_TRACE(block);
    KeyboardConfig hanging = updateMode();
    hanging.hangBlock = block;
    Host g(hanging);
    EXPECT_EQ(g.download(image, 256), -1);
    EXPECT_EQ(g.request(3).kind, ControlResult::Unanswered);
    EXPECT_EQ(g.dfu(6).kind, ControlResult::Unanswered);
    EXPECT_TRUE(g.descriptor(0x0100).empty());
    const nlohmann::json hung = g.kbd.report();
    EXPECT_EQ(hung["hung"], true);
    EXPECT_EQ(hung["mainImage"]["size"], block * 256);
    EXPECT_EQ(hung["mainImage"]["complete"], false);
    EXPECT_EQ(hung["requestCounts"]["DNLOAD"], block + 1);
  }
}

TEST(SimulatedKeyboardFaults, StatusFaults) {
  KeyboardConfig stuck = updateMode();
  stuck.stateAfterBlock = {{1, dfuDNLOAD_SYNC}};
  Host s(stuck);
  EXPECT_EQ(s.download(pattern(1024), 256), -1);
  EXPECT_EQ(s.getStatus().bState, dfuDNLOAD_SYNC);
  ASSERT_EQ(s.dfu(6).kind, ControlResult::Ok);
  EXPECT_EQ(s.getState(), dfuIDLE);

  KeyboardConfig busy = updateMode();
  busy.busyForever = true;
  busy.pollTimeoutMs = 5000;
  Host b(busy);
  EXPECT_EQ(b.download(pattern(256), 256, 50), -1);
  EXPECT_EQ(b.kbd.report()["requestCounts"]["GETSTATUS"], 51);
  b.now += 1s;
  EXPECT_EQ(b.getStatus().bwPollTimeout, 5000u);

  KeyboardConfig slow = updateMode();  // on one block only
  slow.busyPolls = 3;
  slow.busyBlock = 2;
  EXPECT_EQ(Host(slow).download(pattern(2048), 256), 8 + 3);

  // A stall injected for DFU_ABORT leaves GET_DESCRIPTOR, the standard
  // request of the same number, answered.
  KeyboardConfig stalling = updateMode();
  stalling.stallRequests = {6};
  Host a(stalling);
  EXPECT_EQ(a.dfu(6).kind, ControlResult::Stall);
  EXPECT_EQ(a.descriptor(0x0100).size(), 18u);
}

// Requests the keyboard leaves unanswered by its nature stay so in every
// appearance, while the others are answered.
TEST(SimulatedKeyboardFaults, HungRequestsStayUnansweredInEveryAppearance) {
  KeyboardConfig config;
  config.hangRequests = {"CUSTOM_VERSION", "DETACH", "SERIAL_NUMBER"};
  Host h(config);
  std::vector<std::uint8_t> reply(255);
  for (const DfuState idle : {appIDLE, dfuIDLE}) {
    EXPECT_EQ(h.in(0xC0, 0xB3, 0, 29, reply).kind, ControlResult::Unanswered);
    EXPECT_EQ(h.dfu(0, 1000).kind, ControlResult::Unanswered);
    EXPECT_EQ(h.in(kIn, 6, 0x0303, 0x0409, reply).kind, ControlResult::Unanswered);
    EXPECT_EQ(h.descriptor(0x0302).size(), idle == appIDLE ? 36u : 44u);
    EXPECT_EQ(h.getState(), idle);
    h.out(kDfuOut, 0xF2, 0, 1);  // into update mode
    h.advanceBy(1s);
  }
  EXPECT_TRUE(h.kbd.leavesStringUnanswered(3));
  EXPECT_FALSE(h.kbd.leavesStringUnanswered(2));
}

TEST(SimulatedKeyboardBus, DetachResetsAndVendorResets) {
  KeyboardConfig config;
  config.reenumerateDelayMs = 2500;
  config.laterReenumerateDelayMs = 300;
  Host h(config);
  ASSERT_EQ(h.dfu(0, 1000).kind, ControlResult::Ok);
  EXPECT_FALSE(h.kbd.onBus());
  EXPECT_EQ(h.getStatus().bState, 0xFF);  // gone
  EXPECT_FALSE(h.kbd.usbReset(h.now));
  EXPECT_EQ(h.advanceBy(0ms), kLeft);
  EXPECT_EQ(h.kbd.nextBusChange(), h.now + 2500ms);
  EXPECT_EQ(h.advanceBy(2499ms), Changes{});
  EXPECT_EQ(h.advanceBy(1ms), kArrived);
  EXPECT_EQ(h.kbd.productId(), 0x1352);
  ASSERT_EQ(h.dfu(0, 1000).kind, ControlResult::Ok);  // out of update mode: the later delay
  EXPECT_EQ(h.advanceBy(0ms), kLeft);
  EXPECT_EQ(h.kbd.nextBusChange(), h.now + 300ms);

  config.willDetach = false;
  Host r(config);
  ASSERT_EQ(r.dfu(0, 1000).kind, ControlResult::Ok);
  EXPECT_EQ(r.getStatus().bState, appDETACH);
  EXPECT_EQ(r.kbd.nextBusChange(), std::nullopt);
  r.now += 1001ms;  // no reset within wDetachTimeOut: back to normal operation
  EXPECT_EQ(r.getState(), appIDLE);
  EXPECT_TRUE(r.kbd.usbReset(r.now));
  EXPECT_EQ(r.kbd.advance(r.now), Changes{});
  ASSERT_EQ(r.dfu(0, 1000).kind, ControlResult::Ok);
  EXPECT_TRUE(r.kbd.usbReset(r.now));
  EXPECT_EQ(r.advanceBy(3s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(r.kbd.mode(), Mode::Update);
  EXPECT_EQ(r.kbd.report()["requestCounts"]["USB_RESET"], 2);

  // The vendor resets, each in its own mode.
  Host v(KeyboardConfig{});
  EXPECT_EQ(v.out(kDfuOut, 0xF3, 0, 1).kind, ControlResult::Stall);
  ASSERT_EQ(v.out(kDfuOut, 0xF2, 0, 1).kind, ControlResult::Ok);
  EXPECT_EQ(v.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
  ASSERT_EQ(v.kbd.mode(), Mode::Update);
  EXPECT_EQ(v.out(kDfuOut, 0xF2, 0, 0).kind, ControlResult::Stall);
  ASSERT_EQ(v.out(kDfuOut, 0xF3, 0, 0).kind, ControlResult::Ok);
  EXPECT_EQ(v.advanceBy(1s), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(v.kbd.mode(), Mode::Normal);  // the application was never broken

  KeyboardConfig lost;
  lost.noReenumerate = true;
  Host gone(lost);
  ASSERT_EQ(gone.out(kDfuOut, 0xF2, 0, 1).kind, ControlResult::Ok);
  EXPECT_EQ(gone.advanceBy(1h), kLeft);
  EXPECT_EQ(gone.kbd.nextBusChange(), std::nullopt);
}

TEST(SimulatedKeyboardBus, PluggedInByHand) {
  // Started unplugged: nothing answers until the plug-in, which arrives as a
  // re-enumeration does, once.
  KeyboardConfig unplugged;
  unplugged.startUnplugged = true;
  Host h(unplugged);
  EXPECT_FALSE(h.kbd.onBus());
  EXPECT_EQ(h.getStatus().bState, 0xFF);
  EXPECT_EQ(h.kbd.nextBusChange(), std::nullopt);
  EXPECT_EQ(h.kbd.report()["enumerations"], 0);
  h.now += 1500ms;
  ASSERT_TRUE(h.kbd.plugIn(h.now));
  EXPECT_FALSE(h.kbd.plugIn(h.now));
  EXPECT_EQ(h.advanceBy(0ms), kArrived);
  EXPECT_EQ(h.kbd.productId(), 0x1350);
  EXPECT_EQ(h.getStatus().bState, appIDLE);
  EXPECT_EQ(h.kbd.report()["enumerations"], 1);
  EXPECT_EQ(h.kbd.report()["times"]["pluggedInMs"], 1500);

  // A keyboard on its way back is not plugged in twice; one gone for good is
  // plugged in again and starts its valid application.
  KeyboardConfig lost;
  lost.noReenumerate = true;
  Host back(KeyboardConfig{});
  ASSERT_EQ(back.out(kDfuOut, 0xF2, 0, 1).kind, ControlResult::Ok);
  EXPECT_FALSE(back.kbd.plugIn(back.now));
  Host gone(lost);
  ASSERT_EQ(gone.out(kDfuOut, 0xF2, 0, 1).kind, ControlResult::Ok);
  ASSERT_TRUE(gone.kbd.plugIn(gone.now));
  EXPECT_EQ(gone.advanceBy(0ms), (Changes{BusChange::Left, BusChange::Arrived}));
  EXPECT_EQ(gone.kbd.mode(), Mode::Normal);
}

TEST(SimulatedKeyboardVendor, CustomImageWritesAndVersionRead) {
  Host h(updateMode());
  std::vector<std::uint8_t> version(2);
  ASSERT_EQ(h.in(0xC0, 0xB3, 0, 29, version).kind, ControlResult::Ok);
  EXPECT_EQ(version, (std::vector<std::uint8_t>{12, 0}));

  // The second image is installed only at its family's size. 17 192 bytes:
  // 67 full blocks and one of 40; 512 bytes: two full blocks and an empty
  // one. A keyboard outside the families has no size to check.
  struct Row {
    unsigned keys;
    std::uint16_t productId;  // 0: the family's
    std::size_t size;
    std::uint16_t version;  // after the write: 12 unless installed
  };
  const Row rows[] = {
      {49, 0, kSecond49, 13},     {49, 0, 17300, 12},     {49, 0, 512, 12}, {49, 0, kSecond49 - 1, 12},
      {88, 0, 17300, 14},         {88, 0, kSecond49, 12}, {49, 0x2345, 512, 13},
  };
  for (const Row& row : rows) {
    Host w(updateMode(row.keys, row.productId));
    const auto image = pattern(row.size);
    ASSERT_TRUE(w.writeSecond(image));
    nlohmann::json expected = complete(image);
    expected["complete"] = row.version != 12;
    EXPECT_EQ(w.kbd.report()["secondImage"], expected) << row.keys << " keys, " << row.size << " bytes";
    EXPECT_EQ(w.kbd.secondVersion(), row.version) << row.keys << " keys, " << row.size << " bytes";
  }
  for (const std::size_t size : {std::size_t{512}, kSecond49}) ASSERT_TRUE(h.writeSecond(pattern(size)));
  EXPECT_EQ(h.kbd.report()["secondVersion"], 13);
  ASSERT_EQ(h.in(0xC0, 0xB3, 0, 29, version).kind, ControlResult::Ok);
  EXPECT_EQ(version[0], 13);

  // A block that would leave a hole is refused, whatever its index.
  EXPECT_EQ(h.out(0x41, 29, 0, 0, std::vector<std::uint8_t>(256)).kind, ControlResult::Ok);
  EXPECT_EQ(h.out(0x41, 29, 2, 0, std::vector<std::uint8_t>(256)).kind, ControlResult::Stall);
  EXPECT_EQ(h.out(0x41, 200, 0x3FFF, 0, {1}).kind, ControlResult::Stall);

  EXPECT_EQ(h.in(0xC0, 0xB3, 0, 30, version).kind, ControlResult::Stall);
  std::vector<std::uint8_t> oneByte(1);
  EXPECT_EQ(h.in(0xC0, 0xB3, 0, 29, oneByte).kind, ControlResult::Stall);
  Host normal(KeyboardConfig{});
  EXPECT_EQ(normal.out(0x41, 29, 0, 0, {1}).kind, ControlResult::Stall);
}

TEST(SimulatedKeyboardRequests, RepliesStayInsideTheBuffers) {
  Host h(updateMode());
  // The span offered is smaller than wLength: the keyboard writes only into it.
  std::vector<std::uint8_t> buffer(6, 0xEE);
  EXPECT_EQ(h.kbd.control({kIn, 6, 0x0100, 0, 18}, std::span(buffer).first(4), h.now).length, 4u);
  EXPECT_EQ(buffer[4], 0xEE);
  // An OUT request whose data is shorter than wLength uses what is there.
  std::vector<std::uint8_t> data{1, 2, 3};
  EXPECT_EQ(h.kbd.control({kDfuOut, 1, 0, 0, 256}, data, h.now).length, 3u);
  EXPECT_EQ(h.kbd.report()["mainImage"]["size"], 3);
}
