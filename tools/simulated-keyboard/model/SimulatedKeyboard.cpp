#include "SimulatedKeyboard.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "KeyboardDescriptors.h"
#include "Sha256.h"

namespace simkbd {

namespace {

// Standard requests (USB 2.0, chapter 9).
constexpr std::uint8_t GET_STATUS = 0;
constexpr std::uint8_t GET_DESCRIPTOR = 6;
constexpr std::uint8_t GET_CONFIGURATION = 8;

// DFU 1.1 class requests.
constexpr std::uint8_t DFU_DETACH = 0;
constexpr std::uint8_t DFU_DNLOAD = 1;
constexpr std::uint8_t DFU_UPLOAD = 2;
constexpr std::uint8_t DFU_GETSTATUS = 3;
constexpr std::uint8_t DFU_CLRSTATUS = 4;
constexpr std::uint8_t DFU_GETSTATE = 5;
constexpr std::uint8_t DFU_ABORT = 6;

// The keyboard's vendor requests.
constexpr std::uint8_t XMOS_DFU_RESETINTODFU = 0xF2;
constexpr std::uint8_t XMOS_DFU_RESETFROMDFU = 0xF3;
constexpr std::uint8_t kCustomWriteBase = 28;  // bRequest of a custom write is 28 + image type
constexpr std::uint8_t kCustomVersionRead = 0xB3;
constexpr std::uint8_t kSecondImageType = 1;
constexpr std::size_t kCustomBlockSize = 256;

constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t kClassInterfaceIn = 0xA1;
constexpr std::uint8_t kVendorInterfaceOut = 0x41;
constexpr std::uint8_t kVendorDeviceIn = 0xC0;
constexpr std::uint8_t kRequestTypeBits = 0x60;  // 0: standard, 0x20: class, 0x40: vendor

// What a user replugging the keyboard takes to do it.
constexpr Clock::duration kReplugDelay = std::chrono::milliseconds(1000);
// The longest the keyboard stays busy with a block, whatever bwPollTimeout it
// announces. Our updater waits at most this long before it polls again, so a
// keyboard that took longer would fail every download; the real keyboard's
// work never lasts more than that.
constexpr std::uint32_t kLongestBlockWorkMs = 1000;
// The blocks a keyboard started in dfuDNLOAD-IDLE has already received.
constexpr std::uint32_t kStartedDownloadBlocks = 4;
// The flash the keyboard can hold per image: more data is refused rather than
// letting a runaway host grow the model without bound.
constexpr std::size_t kImageCapacity = 4u << 20;

enum class Request {
  GetDescriptor,
  GetStatus,
  GetConfiguration,
  Detach,
  Dnload,
  Upload,
  DfuGetStatus,
  ClrStatus,
  GetState,
  Abort,
  ResetIntoUpdate,
  ResetFromUpdate,
  CustomWrite,
  CustomVersion,
  Other,
  Count
};

// Keys of the report's "requestCounts", indexed by Request.
constexpr std::array<const char*, static_cast<std::size_t>(Request::Count)> kRequestNames{
    "GET_DESCRIPTOR", "GET_STATUS",        "GET_CONFIGURATION", "DETACH",       "DNLOAD",
    "UPLOAD",         "GETSTATUS",         "CLRSTATUS",         "GETSTATE",     "ABORT",
    "RESET_INTO_UPDATE", "RESET_FROM_UPDATE", "CUSTOM_WRITE",   "CUSTOM_VERSION", "OTHER"};

Request classify(const Setup& s) {
  switch (s.bmRequestType) {
    case kStandardIn:
      if (s.bRequest == GET_DESCRIPTOR) return Request::GetDescriptor;
      if (s.bRequest == GET_STATUS) return Request::GetStatus;
      if (s.bRequest == GET_CONFIGURATION) return Request::GetConfiguration;
      break;
    case kClassInterfaceOut:
      if (s.bRequest == DFU_DETACH) return Request::Detach;
      if (s.bRequest == DFU_DNLOAD) return Request::Dnload;
      if (s.bRequest == DFU_CLRSTATUS) return Request::ClrStatus;
      if (s.bRequest == DFU_ABORT) return Request::Abort;
      if (s.bRequest == XMOS_DFU_RESETINTODFU) return Request::ResetIntoUpdate;
      if (s.bRequest == XMOS_DFU_RESETFROMDFU) return Request::ResetFromUpdate;
      break;
    case kClassInterfaceIn:
      if (s.bRequest == DFU_UPLOAD) return Request::Upload;
      if (s.bRequest == DFU_GETSTATUS) return Request::DfuGetStatus;
      if (s.bRequest == DFU_GETSTATE) return Request::GetState;
      break;
    case kVendorInterfaceOut:
      if (s.bRequest >= kCustomWriteBase) return Request::CustomWrite;
      break;
    case kVendorDeviceIn:
      if (s.bRequest == kCustomVersionRead) return Request::CustomVersion;
      break;
    default:
      break;
  }
  return Request::Other;
}

bool isDfuClassRequest(Request r) {
  switch (r) {
    case Request::Detach:
    case Request::Dnload:
    case Request::Upload:
    case Request::DfuGetStatus:
    case Request::ClrStatus:
    case Request::GetState:
    case Request::Abort:
      return true;
    default:
      return false;
  }
}

struct Image {
  std::vector<std::uint8_t> bytes;
  bool ended = false;     // its last block came (custom images)
  bool complete = false;  // ended, believed and installed
};

nlohmann::json imageReport(const Image& image) {
  return {{"size", image.bytes.size()}, {"sha256", Sha256::hex(image.bytes)}, {"complete", image.complete}};
}

// The sizes of the images a keyboard family believes: the main image by DFU
// download, the second image by the custom-image vendor requests.
struct FamilyImageSizes {
  std::size_t main = 0;
  std::size_t second = 0;
};

// The sizes of the family of a normal-mode product id (its low four bits
// ignored); nothing for a product id outside the four families.
std::optional<FamilyImageSizes> familyImageSizes(std::uint16_t productId) {
  switch (productId & 0xFFF0) {
    case 0x1340: return FamilyImageSizes{93184, 17192};
    case 0x1350: return FamilyImageSizes{94720, 17192};
    case 0x1360: return FamilyImageSizes{95488, 17192};
    case 0x1410: return FamilyImageSizes{96512, 17300};
    default: return std::nullopt;
  }
}

constexpr ControlResult kStall{ControlResult::Stall, 0};
constexpr ControlResult kGone{ControlResult::Gone, 0};
constexpr ControlResult kUnanswered{ControlResult::Unanswered, 0};

ControlResult ok(std::size_t length = 0) { return {ControlResult::Ok, length}; }

// An IN reply never exceeds what the host asked for nor the room it gave.
ControlResult reply(std::span<const std::uint8_t> bytes, const Setup& setup, std::span<std::uint8_t> data) {
  const std::size_t length = std::min({bytes.size(), static_cast<std::size_t>(setup.wLength), data.size()});
  if (length > 0) std::memcpy(data.data(), bytes.data(), length);
  return ok(length);
}

ControlResult descriptorReply(const SimulatedKeyboard& kbd, const Setup& setup, std::span<std::uint8_t> data) {
  const std::uint8_t type = setup.wValue >> 8;
  const std::uint8_t index = setup.wValue & 0xFF;
  switch (type) {
    case KeyboardDescriptors::DEVICE: return reply(kbd.deviceDescriptor(), setup, data);
    case KeyboardDescriptors::CONFIGURATION:
      if (index != 0) return kStall;
      return reply(kbd.configurationDescriptor(), setup, data);
    case KeyboardDescriptors::STRING:
      switch (index) {
        case 0: return reply(KeyboardDescriptors::languages(), setup, data);
        case KeyboardDescriptors::kManufacturerIndex:
          return reply(KeyboardDescriptors::string(kbd.manufacturer()), setup, data);
        case KeyboardDescriptors::kProductIndex: return reply(KeyboardDescriptors::string(kbd.product()), setup, data);
        case KeyboardDescriptors::kSerialNumberIndex:
          if (kbd.config().serial.empty()) return kStall;
          return reply(KeyboardDescriptors::string(kbd.config().serial), setup, data);
        default: return kStall;
      }
    default: return kStall;
  }
}

}  // namespace

bool KeyboardConfig::validSerial(std::string_view serial) {
  return g_utf8_validate_len(serial.data(), serial.size(), nullptr);
}

bool KeyboardConfig::hangableRequest(std::string_view name) {
  return name == kSerialNumberRequest ||
         std::find(kRequestNames.begin(), kRequestNames.end(), name) != kRequestNames.end();
}

std::uint16_t KeyboardConfig::familyProductId(unsigned size) {
  switch (size) {
    case 25: return 0x1340;
    case 49: return 0x1350;
    case 61: return 0x1360;
    case 88: return 0x1410;
    default: return 0;
  }
}

struct SimulatedKeyboard::Impl {
  Impl(const KeyboardConfig& c, Clock::time_point now)
      : cfg(c),
        start(now),
        mode(c.startInUpdateMode ? Mode::Update : Mode::Normal),
        present(!c.startUnplugged),
        enumerations(c.startUnplugged ? 0 : 1),
        state(c.startInUpdateMode ? dfuIDLE : appIDLE),
        mainVersion(c.mainVersion),
        secondVersion(c.secondVersion),
        imageSizes(familyImageSizes(normalProductId())) {
    for (std::size_t i = 0; i < kRequestNames.size(); ++i) hangs[i] = c.hangRequests.contains(kRequestNames[i]);
    hangsSerialNumber = c.hangRequests.contains(std::string(KeyboardConfig::kSerialNumberRequest));
    if (present) enterStartState();
  }

  const KeyboardConfig cfg;
  const Clock::time_point start;

  // Presence and mode.
  Mode mode;
  bool present;
  unsigned enumerations;
  unsigned reenumerations = 0;  // times it left the bus to come back
  struct Arrival {
    Clock::time_point at;
    Mode mode;
  };
  std::optional<Arrival> arrival;
  // Bus changes that happened but were not yet handed to the host by advance().
  std::vector<std::pair<Clock::time_point, BusChange>> undelivered;

  // DFU state.
  DfuState state;
  DfuStatus status = OK;
  std::optional<Clock::time_point> detachExpiry;  // appDETACH without will-detach
  std::optional<Clock::time_point> manifestDue;   // while in dfuMANIFEST
  std::optional<Clock::time_point> busyUntil;     // while in dfuDNBUSY
  std::optional<DfuState> startState;             // at the first appearance
  bool manifested = false;  // tolerant manifestation done, waiting in dfuMANIFEST-SYNC
  bool stuck = false;       // an injected state held until ABORT, CLRSTATUS or a reset
  bool hung = false;        // answers nothing until it leaves the bus and comes back
  // The requests left unanswered by the keyboard's nature, by kind, and the
  // read of the serial-number string.
  std::array<bool, static_cast<std::size_t>(Request::Count)> hangs{};
  bool hangsSerialNumber = false;

  // Firmware.
  std::uint16_t mainVersion;
  std::uint16_t secondVersion;
  bool applicationValid = true;
  // What the keyboard's family believes; nothing outside the four families,
  // whose images are taken at any size.
  const std::optional<FamilyImageSizes> imageSizes;

  // The current or most recent main download.
  Image mainImage;
  std::uint32_t blocksReceived = 0;
  std::uint32_t expectedBlockNumber = 0;
  unsigned busyLeft = 0;
  bool blockUnpolled = false;  // no GETSTATUS yet since the last block
  // Manifestation: no GETSTATUS yet since the end of data, and the dfuMANIFEST
  // answers still to give once it has begun.
  bool manifestUnpolled = false;
  unsigned manifestLeft = 0;
  std::optional<std::int64_t> firstDnloadMs;
  std::optional<std::int64_t> endOfDataMs;
  std::optional<std::int64_t> pluggedInMs;

  std::map<std::uint8_t, Image> customImages;

  // Injected block faults strike once, as a real mishap would, so that the
  // recovery that follows can be exercised.
  bool failBlockFired = false;
  bool unplugBlockFired = false;
  bool hangBlockFired = false;
  bool stateAfterBlockFired = false;

  std::array<unsigned, static_cast<std::size_t>(Request::Count)> counts{};
  unsigned usbResets = 0;
  unsigned refusedWhileBusy = 0;
  nlohmann::json requestLog = nlohmann::json::array();

  std::uint16_t normalProductId() const {
    return cfg.productId ? *cfg.productId : KeyboardConfig::familyProductId(cfg.size);
  }
  std::uint16_t productId() const {
    return mode == Mode::Normal ? normalProductId() : static_cast<std::uint16_t>((normalProductId() & 0xFFF0) + 2);
  }
  std::uint16_t dfuInterfaceNumber() const { return mode == Mode::Normal ? 1 : 0; }
  // A keyboard that is not manifestation tolerant is polled once, as hosts
  // leave it to restart on its own.
  bool manifestPolled() const { return cfg.manifestPolls && cfg.manifestationTolerant; }
  bool leavesUnanswered(Request r, const Setup& setup) const {
    if (hangs[static_cast<std::size_t>(r)]) return true;
    return hangsSerialNumber && r == Request::GetDescriptor &&
           setup.wValue == (KeyboardDescriptors::STRING << 8 | KeyboardDescriptors::kSerialNumberIndex);
  }
  std::int64_t deviceMs(Clock::time_point now) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
  }

  // --- Bus -----------------------------------------------------------------

  void leave(Clock::time_point at, Mode comeBackIn, Clock::duration offBusFor) {
    present = false;
    detachExpiry.reset();
    manifestDue.reset();
    busyUntil.reset();
    undelivered.emplace_back(at, BusChange::Left);
    if (!cfg.noReenumerate) arrival = Arrival{at + offBusFor, comeBackIn};
  }

  // Time off the bus for this re-enumeration: the first one may take longer
  // (or shorter) than those after it.
  Clock::duration reenumerateDelay() {
    const bool first = reenumerations++ == 0;
    return std::chrono::milliseconds(first || !cfg.laterReenumerateDelayMs ? cfg.reenumerateDelayMs
                                                                           : *cfg.laterReenumerateDelayMs);
  }

  // Leaving the loader starts the application only when a complete download
  // left one; otherwise the loader is all the keyboard can run.
  void leaveUpdateMode(Clock::time_point at) {
    leave(at, applicationValid ? Mode::Normal : Mode::Update, reenumerateDelay());
  }

  void arrive(Arrival a) {
    arrival.reset();
    present = true;
    mode = a.mode;
    state = mode == Mode::Normal ? appIDLE : dfuIDLE;
    status = OK;
    manifested = false;
    stuck = false;
    hung = false;
    busyLeft = 0;
    busyUntil.reset();
    blockUnpolled = false;
    if (enumerations++ == 0) enterStartState();
    undelivered.emplace_back(a.at, BusChange::Arrived);
  }

  // The state of the first appearance: a loader may come up still holding an
  // error or a download that a host left half done.
  void enterStartState() {
    if (mode == Mode::Update) {
      switch (cfg.startState) {
        case dfuERROR:
          state = dfuERROR;
          status = errWRITE;
          applicationValid = false;
          break;
        case dfuDNLOAD_IDLE:
          mainImage.bytes.assign(std::size_t(kStartedDownloadBlocks) * cfg.transferSize, 0xFF);
          blocksReceived = kStartedDownloadBlocks;
          expectedBlockNumber = kStartedDownloadBlocks;
          applicationValid = false;
          state = dfuDNLOAD_IDLE;
          break;
        default: break;
      }
    }
    startState = state;
  }

  // The image is believed only when it has its family's size: anything else
  // is a host's fault (a wrong image, or blocks lost or sent twice).
  bool mainImageBelieved() const { return !imageSizes || mainImage.bytes.size() == imageSizes->main; }

  void completeManifestation(Clock::time_point at) {
    manifestDue.reset();
    mainVersion = cfg.newMainVersion;
    applicationValid = true;
    mainImage.complete = true;
    if (cfg.manifestationTolerant) {
      state = dfuMANIFEST_SYNC;
      manifested = true;
    } else {
      // A keyboard that cannot stay on the bus through manifestation restarts
      // into its new application on its own.
      state = dfuMANIFEST_WAIT_RESET;
      leave(at, Mode::Normal, reenumerateDelay());
    }
  }

  // Applies, in time order, every timed change due at `now`.
  void settle(Clock::time_point now) {
    for (;;) {
      enum class Due { None, BlockWritten, Manifest, DetachExpiry, Arrival } due = Due::None;
      Clock::time_point when = now;
      auto consider = [&](const std::optional<Clock::time_point>& t, Due d) {
        if (t && *t <= when && (due == Due::None || *t < when)) {
          when = *t;
          due = d;
        }
      };
      consider(state == dfuDNBUSY ? busyUntil : std::nullopt, Due::BlockWritten);
      consider(state == dfuMANIFEST ? manifestDue : std::nullopt, Due::Manifest);
      consider(detachExpiry, Due::DetachExpiry);
      consider(arrival ? std::optional(arrival->at) : std::nullopt, Due::Arrival);
      switch (due) {
        case Due::None: return;
        case Due::BlockWritten:
          busyUntil.reset();
          state = dfuDNLOAD_SYNC;
          break;
        case Due::Manifest:
          if (manifestLeft > 0) {
            // Another dfuMANIFEST answer is due before manifestation ends.
            manifestDue.reset();
            state = dfuMANIFEST_SYNC;
          } else {
            completeManifestation(when);
          }
          break;
        case Due::DetachExpiry:
          detachExpiry.reset();
          if (state == appDETACH) state = appIDLE;
          break;
        case Due::Arrival: arrive(*arrival); break;
      }
    }
  }

  // --- Replies ---------------------------------------------------------------

  ControlResult statusReply(std::uint32_t pollTimeoutMs, const Setup& setup, std::span<std::uint8_t> data) const {
    const std::array<std::uint8_t, 6> record{status,
                                             static_cast<std::uint8_t>(pollTimeoutMs & 0xFF),
                                             static_cast<std::uint8_t>((pollTimeoutMs >> 8) & 0xFF),
                                             static_cast<std::uint8_t>((pollTimeoutMs >> 16) & 0xFF),
                                             static_cast<std::uint8_t>(state),
                                             0};
    const std::size_t length = cfg.shortStatus ? 3 : record.size();
    return reply(std::span(record).first(length), setup, data);
  }

  ControlResult stateReply(const Setup& setup, std::span<std::uint8_t> data) const {
    const std::uint8_t s = state;
    return reply(std::span(&s, 1), setup, data);
  }

  // A request the DFU state diagram forbids: stall and record why.
  ControlResult stallToError(DfuStatus why) {
    state = dfuERROR;
    status = why;
    manifestDue.reset();
    busyUntil.reset();
    manifested = false;
    return kStall;
  }

  // Busy writing a block or manifesting, for the time it announced: the
  // loader attends to nothing else. The times are settled before a request
  // is looked at, so still being in these states means the time is not over.
  // An injected state is held without any work behind it.
  bool busy() const { return mode == Mode::Update && !stuck && (state == dfuDNBUSY || state == dfuMANIFEST); }

  // Busy as the host was told: from the first dfuDNBUSY answer to a block
  // until the block is taken, and from the first dfuMANIFEST answer until
  // manifestation is over, the announced times and the waits between the
  // answers alike.
  bool working() const {
    if (busy()) return true;
    if (mode != Mode::Update || stuck) return false;
    if (state == dfuDNLOAD_SYNC) return !blockUnpolled && (busyLeft > 0 || cfg.busyForever);
    if (state == dfuMANIFEST_SYNC) return !manifestUnpolled && !manifested && manifestLeft > 0;
    return false;
  }

  // --- DFU in run-time mode ------------------------------------------------------

  ControlResult runtimeRequest(Request r, const Setup& setup, std::span<std::uint8_t> data, Clock::time_point now) {
    switch (r) {
      case Request::DfuGetStatus: return statusReply(0, setup, data);
      case Request::GetState: return stateReply(setup, data);
      case Request::Detach:
        if (state == appIDLE) {
          state = appDETACH;
          if (cfg.willDetach)
            leave(now, Mode::Update, reenumerateDelay());
          else
            detachExpiry = now + std::chrono::milliseconds(cfg.detachTimeoutMs);
          return ok();
        }
        break;
      default: break;
    }
    // Anything else is refused, and a pending detach is given up.
    state = appIDLE;
    detachExpiry.reset();
    return kStall;
  }

  // --- DFU in update mode ----------------------------------------------------------

  void beginDownload(Clock::time_point now) {
    mainImage = {};
    blocksReceived = 0;
    expectedBlockNumber = 0;
    firstDnloadMs = deviceMs(now);
    endOfDataMs.reset();
    // Writing the first block destroys the application that was there.
    applicationValid = false;
  }

  ControlResult acceptBlock(const Setup& setup, std::span<std::uint8_t> data, Clock::time_point now) {
    if (cfg.unplugBlock && !unplugBlockFired && *cfg.unplugBlock == blocksReceived) {
      unplugBlockFired = true;
      leave(now, Mode::Update, kReplugDelay);
      return kGone;
    }
    if (hangsNow()) return kUnanswered;  // on the block, which it never takes
    if (setup.wValue != expectedBlockNumber) {
      // Real loaders take blocks as they come; the discrepancy is only noted.
      std::fprintf(stderr, "simulated keyboard: DNLOAD block number %u received, %u expected\n",
                   static_cast<unsigned>(setup.wValue), static_cast<unsigned>(expectedBlockNumber));
    }
    const std::size_t length = std::min<std::size_t>(setup.wLength, data.size());
    if (mainImage.bytes.size() + length > kImageCapacity) return stallToError(errADDRESS);
    mainImage.bytes.insert(mainImage.bytes.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
    ++blocksReceived;
    expectedBlockNumber = static_cast<std::uint32_t>(setup.wValue) + 1;
    busyLeft = !cfg.busyBlock || *cfg.busyBlock == blocksReceived - 1 ? cfg.busyPolls : 0;
    blockUnpolled = true;
    state = dfuDNLOAD_SYNC;
    return ok(length);
  }

  // Whether the loader hangs on the DNLOAD it is given now: the one of block
  // hangBlock, the request that ends the data counting as the block after
  // the last.
  bool hangsNow() {
    if (!cfg.hangBlock || hangBlockFired || *cfg.hangBlock != blocksReceived) return false;
    hangBlockFired = true;
    hung = true;
    return true;
  }

  // DFU_GETSTATUS after a block: the block is written after busyPolls polls,
  // unless a fault was injected for it. Each dfuDNBUSY answer keeps the
  // keyboard busy for the poll timeout it announces (at most
  // kLongestBlockWorkMs).
  ControlResult blockStatus(const Setup& setup, std::span<std::uint8_t> data, Clock::time_point now) {
    if (blockUnpolled) {
      blockUnpolled = false;
      const std::uint32_t block = blocksReceived - 1;
      if (cfg.failBlock && !failBlockFired && *cfg.failBlock == block) {
        failBlockFired = true;
        state = dfuERROR;
        status = errWRITE;
        return statusReply(0, setup, data);
      }
      if (cfg.stateAfterBlock && !stateAfterBlockFired && cfg.stateAfterBlock->first == block) {
        stateAfterBlockFired = true;
        state = static_cast<DfuState>(cfg.stateAfterBlock->second);
        stuck = true;
        return statusReply(0, setup, data);
      }
    }
    if (cfg.busyForever || busyLeft > 0) {
      if (busyLeft > 0) --busyLeft;
      state = dfuDNBUSY;
      busyUntil = now + std::chrono::milliseconds(std::min(cfg.pollTimeoutMs, kLongestBlockWorkMs));
      return statusReply(cfg.pollTimeoutMs, setup, data);
    }
    state = dfuDNLOAD_IDLE;
    return statusReply(0, setup, data);
  }

  void resetToIdle() {
    state = dfuIDLE;
    status = OK;
    stuck = false;
    manifested = false;
    manifestDue.reset();
    busyUntil.reset();
  }

  ControlResult updateRequest(Request r, const Setup& setup, std::span<std::uint8_t> data, Clock::time_point now) {
    // The loader understands DETACH as "leave update mode" in any state it
    // answers in (not while busy: see control()).
    if (r == Request::Detach) {
      leaveUpdateMode(now);
      return ok();
    }
    if (stuck) {
      switch (r) {
        case Request::DfuGetStatus: return statusReply(0, setup, data);
        case Request::GetState: return stateReply(setup, data);
        case Request::Abort:
        case Request::ClrStatus: resetToIdle(); return ok();
        default: return kStall;
      }
    }
    // What each state takes besides GETSTATUS and GETSTATE, which every state
    // the keyboard answers in takes; anything else is refused.
    switch (state) {
      case dfuIDLE:
        if (r == Request::Dnload) {
          if (setup.wLength == 0) return stallToError(errNOTDONE);
          beginDownload(now);
          return acceptBlock(setup, data, now);
        }
        if (r == Request::Abort) return ok();
        break;
      case dfuDNLOAD_SYNC:
        if (r == Request::DfuGetStatus) return blockStatus(setup, data, now);
        break;
      case dfuDNLOAD_IDLE:
        if (r == Request::Dnload) {
          if (setup.wLength > 0) return acceptBlock(setup, data, now);
          if (hangsNow()) return kUnanswered;  // as manifestation would begin
          state = dfuMANIFEST_SYNC;
          manifested = false;
          manifestUnpolled = true;
          endOfDataMs = deviceMs(now);
          return ok();
        }
        if (r == Request::Abort) {
          resetToIdle();
          return ok();
        }
        break;
      case dfuMANIFEST_SYNC:
        if (r == Request::DfuGetStatus) {
          if (manifested) {
            resetToIdle();
            return statusReply(0, setup, data);
          }
          if (manifestUnpolled) {
            manifestUnpolled = false;
            if (!mainImageBelieved()) {
              // Refused before anything is installed: the application stays
              // broken and the version as it was.
              state = dfuERROR;
              status = errVERIFY;
              return statusReply(0, setup, data);
            }
            manifestLeft = manifestPolled() ? *cfg.manifestPolls : 1;
          }
          if (manifestLeft > 0) --manifestLeft;
          state = dfuMANIFEST;
          if (!manifestPolled()) {
            manifestDue = now + std::chrono::milliseconds(cfg.manifestationMs);
            return statusReply(cfg.manifestationMs, setup, data);
          }
          manifestDue = now + std::chrono::milliseconds(std::min(cfg.pollTimeoutMs, kLongestBlockWorkMs));
          return statusReply(cfg.pollTimeoutMs, setup, data);
        }
        break;
      case dfuERROR:
        if (r == Request::ClrStatus) {
          resetToIdle();
          return ok();
        }
        break;
      default:
        break;
    }
    if (r == Request::DfuGetStatus) return statusReply(0, setup, data);
    if (r == Request::GetState) return stateReply(setup, data);
    return stallToError(errSTALLEDPKT);
  }

  // --- Vendor requests -----------------------------------------------------------

  ControlResult customWrite(const Setup& setup, std::span<std::uint8_t> data) {
    if (mode != Mode::Update) return kStall;
    const std::size_t length = std::min<std::size_t>(setup.wLength, data.size());
    const std::size_t offset = static_cast<std::size_t>(setup.wValue) * kCustomBlockSize;
    if (length > kCustomBlockSize || offset + length > kImageCapacity) return kStall;
    const std::uint8_t type = static_cast<std::uint8_t>(setup.bRequest - kCustomWriteBase);
    Image& image = customImages[type];
    if (image.ended || setup.wValue == 0) image = {};
    // Blocks come in order: one past the end would leave a hole, and letting
    // a bogus block index size the image would have a single request allocate
    // megabytes.
    if (offset > image.bytes.size()) return kStall;
    if (image.bytes.size() < offset + length) image.bytes.resize(offset + length);
    std::copy_n(data.begin(), length, image.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    // A short block, even an empty one, is the last of the image.
    if (length < kCustomBlockSize) {
      image.bytes.resize(offset + length);
      image.ended = true;
      if (type != kSecondImageType) {
        image.complete = true;
      } else if (!imageSizes || image.bytes.size() == imageSizes->second) {
        image.complete = true;
        secondVersion = *cfg.newSecondVersion;
      }
      // A second image of another size is not installed: the request was
      // carried, but the keyboard keeps the image it had.
    }
    return ok(length);
  }

  ControlResult customVersion(const Setup& setup, std::span<std::uint8_t> data) const {
    if (setup.wIndex != kCustomWriteBase + kSecondImageType || setup.wLength < 2) return kStall;
    const std::array<std::uint8_t, 2> version{static_cast<std::uint8_t>(secondVersion & 0xFF),
                                              static_cast<std::uint8_t>(secondVersion >> 8)};
    return reply(version, setup, data);
  }

  // --- Any request, once the faults injected for it are past ----------------------

  ControlResult answer(const SimulatedKeyboard& keyboard, Request r, const Setup& setup, std::span<std::uint8_t> data,
                       Clock::time_point now) {
    // Whatever arrives before the announced time is over, the keyboard refuses.
    if (busy()) return stallToError(errSTALLEDPKT);

    if (isDfuClassRequest(r)) {
      if (setup.wIndex != dfuInterfaceNumber()) return kStall;
      return mode == Mode::Normal ? runtimeRequest(r, setup, data, now) : updateRequest(r, setup, data, now);
    }
    switch (r) {
      case Request::GetDescriptor: return descriptorReply(keyboard, setup, data);
      case Request::GetStatus: {
        const std::array<std::uint8_t, 2> deviceStatus{0, 0};
        return reply(deviceStatus, setup, data);
      }
      case Request::GetConfiguration: {
        const std::uint8_t configuration = 1;
        return reply(std::span(&configuration, 1), setup, data);
      }
      case Request::ResetIntoUpdate:
        if (mode != Mode::Normal) return kStall;
        leave(now, Mode::Update, reenumerateDelay());
        return ok();
      case Request::ResetFromUpdate:
        if (mode != Mode::Update) return kStall;
        leaveUpdateMode(now);
        return ok();
      case Request::CustomWrite: return customWrite(setup, data);
      case Request::CustomVersion: return customVersion(setup, data);
      default: return kStall;
    }
  }
};

SimulatedKeyboard::SimulatedKeyboard(KeyboardConfig config, Clock::time_point now) : m_config(std::move(config)) {
  if (!m_config.newSecondVersion) m_config.newSecondVersion = m_config.size == 88 ? 14 : 13;
  m_impl = std::make_shared<Impl>(m_config, now);
}

bool SimulatedKeyboard::onBus() const { return m_impl->present; }
Mode SimulatedKeyboard::mode() const { return m_impl->mode; }
std::uint16_t SimulatedKeyboard::productId() const { return m_impl->productId(); }
std::uint16_t SimulatedKeyboard::mainVersion() const { return m_impl->mainVersion; }
std::uint16_t SimulatedKeyboard::secondVersion() const { return m_impl->secondVersion; }
DfuState SimulatedKeyboard::state() const { return m_impl->state; }

std::vector<std::uint8_t> SimulatedKeyboard::deviceDescriptor() const {
  return KeyboardDescriptors::device(vendorId(), productId(), mainVersion(), !m_config.serial.empty());
}

std::vector<std::uint8_t> SimulatedKeyboard::configurationDescriptor() const {
  return KeyboardDescriptors::configuration(m_config, mode(), m_config.badConfigDescriptor);
}

std::vector<std::uint8_t> SimulatedKeyboard::sysfsDescriptors() const {
  std::vector<std::uint8_t> out = deviceDescriptor();
  const std::vector<std::uint8_t> configuration = KeyboardDescriptors::configuration(m_config, mode(), false);
  out.insert(out.end(), configuration.begin(), configuration.end());
  return out;
}

std::string SimulatedKeyboard::manufacturer() const {
  return m_config.realManufacturer ? "ORVEL TARSIN" : "ORVEL TARSIN (simulated)";
}

std::string SimulatedKeyboard::product() const {
  std::string name = "VANTA Keyboard " + std::to_string(m_config.size);
  if (mode() == Mode::Update) name += " DFU";
  return name;
}

ControlResult SimulatedKeyboard::control(const Setup& setup, std::span<std::uint8_t> data, Clock::time_point now) {
  Impl& d = *m_impl;
  d.settle(now);
  if (!d.present) return kGone;

  const Request r = classify(setup);
  const bool working = d.working();
  ++d.counts[static_cast<std::size_t>(r)];
  d.requestLog.push_back({{"bmRequestType", setup.bmRequestType},
                          {"bRequest", setup.bRequest},
                          {"wValue", setup.wValue},
                          {"wIndex", setup.wIndex},
                          {"wLength", setup.wLength},
                          {"busy", working}});
  if (d.hung || d.leavesUnanswered(r, setup)) return kUnanswered;
  // An injected stall strikes the class and vendor requests of its number,
  // not the standard ones that share it (GET_DESCRIPTOR is 6, as DFU_ABORT
  // is): a keyboard whose descriptors cannot be read is no keyboard at all.
  if ((setup.bmRequestType & kRequestTypeBits) != 0 && m_config.stallRequests.contains(setup.bRequest)) return kStall;
  const ControlResult result = d.answer(*this, r, setup, data, now);
  // Whatever a busy keyboard stalls is a request it should not have been sent.
  if (working && result.kind == ControlResult::Stall) ++d.refusedWhileBusy;
  return result;
}

bool SimulatedKeyboard::leavesStringUnanswered(std::uint8_t index) const {
  const Setup read{kStandardIn, GET_DESCRIPTOR, static_cast<std::uint16_t>(KeyboardDescriptors::STRING << 8 | index),
                   KeyboardDescriptors::kLanguageEnglishUS, 255};
  return m_impl->leavesUnanswered(Request::GetDescriptor, read);
}

bool SimulatedKeyboard::usbReset(Clock::time_point now) {
  Impl& d = *m_impl;
  d.settle(now);
  if (!d.present) return false;
  ++d.usbResets;
  if (d.state == appDETACH) {
    d.leave(now, Mode::Update, d.reenumerateDelay());
  } else if (d.state == dfuMANIFEST_WAIT_RESET) {
    d.leaveUpdateMode(now);
  } else if (d.mode == Mode::Update) {
    // The loader restarts: whatever it was doing is dropped, the application
    // stays as the last download left it.
    d.resetToIdle();
  }
  return true;
}

bool SimulatedKeyboard::plugIn(Clock::time_point now) {
  Impl& d = *m_impl;
  d.settle(now);
  if (d.present || d.arrival) return false;
  const Mode mode = d.enumerations == 0 ? d.mode : d.applicationValid ? Mode::Normal : Mode::Update;
  d.arrive({now, mode});
  d.pluggedInMs = d.deviceMs(now);
  return true;
}

std::optional<Clock::time_point> SimulatedKeyboard::nextBusChange() const {
  const Impl& d = *m_impl;
  if (!d.undelivered.empty()) return d.undelivered.front().first;
  std::optional<Clock::time_point> next;
  if (d.arrival) next = d.arrival->at;
  if (d.state == dfuMANIFEST && d.manifestDue && !m_config.manifestationTolerant && (!next || *d.manifestDue < *next))
    next = d.manifestDue;
  return next;
}

std::vector<BusChange> SimulatedKeyboard::advance(Clock::time_point now) {
  Impl& d = *m_impl;
  d.settle(now);
  std::vector<BusChange> changes;
  changes.reserve(d.undelivered.size());
  for (const auto& [at, change] : d.undelivered) changes.push_back(change);
  d.undelivered.clear();
  return changes;
}

nlohmann::json SimulatedKeyboard::report() const {
  const Impl& d = *m_impl;
  nlohmann::json counts = nlohmann::json::object();
  for (std::size_t i = 0; i < kRequestNames.size(); ++i) counts[kRequestNames[i]] = d.counts[i];
  counts["USB_RESET"] = d.usbResets;

  const auto second = d.customImages.find(kSecondImageType);
  const auto optionalMs = [](const std::optional<std::int64_t>& ms) -> nlohmann::json {
    return ms ? nlohmann::json(*ms) : nlohmann::json(nullptr);
  };
  return {
      {"mode", d.mode == Mode::Normal ? "normal" : "update"},
      {"onBus", d.present},
      {"hung", d.hung},
      {"productId", d.productId()},
      {"serial", m_config.serial},
      {"mainVersion", d.mainVersion},
      {"secondVersion", d.secondVersion},
      {"applicationValid", d.applicationValid},
      {"state", static_cast<int>(d.state)},
      {"status", static_cast<int>(d.status)},
      {"startState", d.startState ? nlohmann::json(static_cast<int>(*d.startState)) : nlohmann::json(nullptr)},
      {"mainImage", imageReport(d.mainImage)},
      {"secondImage", imageReport(second != d.customImages.end() ? second->second : Image{})},
      {"requestCounts", counts},
      {"requests", d.requestLog},
      {"refusedWhileBusy", d.refusedWhileBusy},
      {"times", {{"firstDnloadMs", optionalMs(d.firstDnloadMs)}, {"endOfDataMs", optionalMs(d.endOfDataMs)},
                 {"pluggedInMs", optionalMs(d.pluggedInMs)}}},
      {"enumerations", d.enumerations},
  };
}

}  // namespace simkbd
