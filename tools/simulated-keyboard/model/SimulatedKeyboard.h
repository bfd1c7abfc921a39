// A model of the keyboard as its USB device: descriptors, the DFU 1.1
// download state machine, the vendor requests and re-enumeration. It knows
// nothing of transports: a host feeds it control transfers and USB resets and
// applies the bus changes it asks for (leaving the bus, coming back).
//
// The model is passive: it has no thread and no timer. Every call carries the
// host's notion of "now"; work that takes time on a real device (writing a
// block, manifestation, re-enumeration) is settled lazily against that clock,
// and nextBusChange() tells the host when it must call advance() without a
// request to drive it.
//
// It is as strict as the keyboard: a DFU request the DFU 1.1 state diagram
// does not allow in the current state, and any request while the keyboard is
// busy writing a block or manifesting, is stalled and leaves the loader in
// dfuERROR with errSTALLEDPKT. An image is believed only when it has the size
// of its family's image.
//
// Not thread-safe: the host serialises all calls.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace simkbd {

using Clock = std::chrono::steady_clock;

enum class Mode { Normal, Update };

// DFU 1.1 states and status codes, named as the DFU 1.1 document names them.
// The keyboard keeps its own copy rather than sharing the USB layer's: it is
// the independent counterpart the updater is checked against, so a wrong
// value on one side must show up as a failure, not agree with itself.
enum DfuState : std::uint8_t {
  appIDLE = 0,
  appDETACH = 1,
  dfuIDLE = 2,
  dfuDNLOAD_SYNC = 3,
  dfuDNBUSY = 4,
  dfuDNLOAD_IDLE = 5,
  dfuMANIFEST_SYNC = 6,
  dfuMANIFEST = 7,
  dfuMANIFEST_WAIT_RESET = 8,
  dfuUPLOAD_IDLE = 9,
  dfuERROR = 10,
};

enum DfuStatus : std::uint8_t {
  OK = 0x00,
  errTARGET = 0x01,
  errFILE = 0x02,
  errWRITE = 0x03,
  errERASE = 0x04,
  errCHECK_ERASED = 0x05,
  errPROG = 0x06,
  errVERIFY = 0x07,
  errADDRESS = 0x08,
  errNOTDONE = 0x09,
  errFIRMWARE = 0x0A,
  errVENDOR = 0x0B,
  errUSBR = 0x0C,
  errPOR = 0x0D,
  errUNKNOWN = 0x0E,
  errSTALLEDPKT = 0x0F,
};

struct KeyboardConfig {
  unsigned size = 49;                      // 25, 49, 61 or 88 keys
  std::uint16_t mainVersion = 68;          // installed main firmware, reported as bcdDevice
  std::uint16_t secondVersion = 12;        // installed second image, read by vendor request
  std::string serial = "SIMKBD0001";       // empty: the device has no serial-number string
  bool startInUpdateMode = false;
  // The DFU state a keyboard that starts in update mode first shows: dfuIDLE,
  // dfuERROR (status errWRITE, as a loader left by a failed write) or
  // dfuDNLOAD-IDLE (a download begun and some blocks received, as after a
  // host that quit in the middle). In the last two the application is broken.
  DfuState startState = dfuIDLE;
  bool startUnplugged = false;             // off the bus until plugIn()
  std::uint16_t transferSize = 256;        // wTransferSize of the functional descriptor
  std::uint16_t detachTimeoutMs = 1000;    // wDetachTimeOut of the functional descriptor
  std::uint32_t pollTimeoutMs = 1;         // bwPollTimeout reported when a block makes it busy
  unsigned busyPolls = 0;                  // dfuDNBUSY answers before each block is taken
  // The block (counted from 0 among the data blocks of a download) that alone
  // gets the busyPolls answers, in every download; the others are taken at
  // once. None: every block gets them.
  std::optional<std::uint32_t> busyBlock;
  bool willDetach = true;                  // bmAttributes bit 3
  bool manifestationTolerant = true;       // bmAttributes bit 2
  std::uint32_t manifestationMs = 100;     // how long manifestation takes
  // The dfuMANIFEST answers manifestation takes, each announcing pollTimeoutMs
  // and busy for it as after a block; none, or a keyboard that is not
  // manifestation tolerant: one answer announcing manifestationMs.
  std::optional<unsigned> manifestPolls;
  std::uint32_t reenumerateDelayMs = 200;  // time off the bus when re-enumerating
  std::optional<std::uint32_t> laterReenumerateDelayMs;  // the same, after the first time; as above if none
  // The root-hub port the host first puts the keyboard on, as a user plugs a
  // keyboard into the port another one left; none gives it a port of its own.
  std::optional<unsigned> port;
  // The root-hub port the host puts the keyboard on from its first
  // re-enumeration on; none keeps it on its own port, as a real keyboard stays.
  std::optional<unsigned> reenumeratePort;
  std::optional<std::uint16_t> productId;  // normal-mode product id other than the family's
  std::uint16_t newMainVersion = 69;       // what a complete main download installs
  std::optional<std::uint16_t> newSecondVersion;  // default 13, 14 for the 88-key size
  // Report the maker's own manufacturer string, as a real keyboard does,
  // rather than one that tells the updater this keyboard is simulated.
  bool realManufacturer = false;

  // Fault injection. Blocks are counted from 0 among the data blocks of a
  // download; each block fault strikes once in the keyboard's life, as a real
  // mishap would, so that a later download can succeed.
  std::optional<std::uint32_t> failBlock;    // errWRITE in the status after block N
  std::optional<std::uint32_t> unplugBlock;  // leaves the bus on block N, back after 1 s in update mode
  // From the DNLOAD of block N on the keyboard answers no request, as a loader
  // that has hung; only a power cycle (plugged in again) revives it. The
  // zero-length DNLOAD that ends the data counts as the block after the last,
  // so that a loader that hangs as manifestation begins can be tried.
  std::optional<std::uint32_t> hangBlock;
  bool noReenumerate = false;                // leaves the bus but never comes back
  std::set<std::uint8_t> stallRequests;      // class and vendor bRequest values always stalled
  // Requests the keyboard leaves unanswered whatever its state, in every
  // appearance: each stays pending until the host cancels it or the keyboard
  // leaves the bus. Named as the report's "requestCounts" names them, or
  // kSerialNumberRequest: the read of the string iSerialNumber names.
  std::set<std::string> hangRequests;
  static constexpr std::string_view kSerialNumberRequest = "SERIAL_NUMBER";
  std::optional<std::pair<std::uint32_t, std::uint8_t>> stateAfterBlock;  // N:S
  bool busyForever = false;                  // GETSTATUS answers dfuDNBUSY for ever
  bool shortStatus = false;                  // GETSTATUS answers fewer than 6 bytes
  bool badConfigDescriptor = false;          // configuration descriptor whose lengths lie

  // The family product id of the size (0x1340, 0x1350, 0x1360, 0x1410);
  // 0 for a size that is not one of the four.
  static std::uint16_t familyProductId(unsigned size);
  // Whether the text can be a serial number: UTF-8, as the kernel records the
  // string descriptor, whose UTF-16 it is turned into, and the report holds it.
  static bool validSerial(std::string_view serial);
  // Whether hangRequests may hold the name.
  static bool hangableRequest(std::string_view name);
};

struct Setup {
  std::uint8_t bmRequestType = 0;
  std::uint8_t bRequest = 0;
  std::uint16_t wValue = 0;
  std::uint16_t wIndex = 0;
  std::uint16_t wLength = 0;
};

struct ControlResult {
  enum Kind {
    Ok,     // `length` bytes were transferred (IN: written into data)
    Stall,  // the device stalled the request
    Gone,   // the device is not on the bus (or left it during the request): no reply
    // The device never answers: the request stays pending until the host
    // cancels it or the device leaves the bus.
    Unanswered,
  };
  Kind kind = Stall;
  std::size_t length = 0;
};

enum class BusChange { Left, Arrived };

class SimulatedKeyboard {
 public:
  explicit SimulatedKeyboard(KeyboardConfig config, Clock::time_point now = Clock::now());

  // The configuration, with newSecondVersion filled in when it was left empty.
  const KeyboardConfig& config() const { return m_config; }

  // Presence and identity in the current mode.
  bool onBus() const;
  Mode mode() const;
  std::uint16_t vendorId() const { return 0x17CC; }
  std::uint16_t productId() const;  // normal: the family's (or config.productId); update: family + 2
  std::uint16_t mainVersion() const;
  std::uint16_t secondVersion() const;
  DfuState state() const;

  // The device descriptor followed by the whole configuration descriptor, as
  // the kernel exposes them in sysfs ("descriptors"). Always well-formed, even
  // when the configuration descriptor sent over the wire lies.
  std::vector<std::uint8_t> sysfsDescriptors() const;
  std::vector<std::uint8_t> deviceDescriptor() const;
  std::vector<std::uint8_t> configurationDescriptor() const;  // as sent over the wire
  std::string manufacturer() const;
  std::string product() const;

  // One control transfer on endpoint 0. For a device-to-host request `data`
  // has room for wLength bytes and receives the reply; for host-to-device it
  // holds the wLength bytes sent. Every request is logged and counted.
  ControlResult control(const Setup& setup, std::span<std::uint8_t> data, Clock::time_point now);

  // Whether the keyboard leaves the read of string descriptor `index`
  // unanswered by its nature (KeyboardConfig::hangRequests).
  bool leavesStringUnanswered(std::uint8_t index) const;

  // A USB port reset (USBDEVFS_RESET). In appDETACH or dfuMANIFEST-WAIT-RESET
  // the keyboard leaves the bus and re-enumerates in the other mode.
  // Returns false when the device is not on the bus.
  bool usbReset(Clock::time_point now);

  // Plugs the keyboard in by hand at `now` when it is off the bus with no
  // return pending; the arrival is handed to the host by advance(), as a
  // re-enumeration's is. A keyboard that never was on the bus comes up as
  // configured; one that left for good starts what it holds, as at power-up:
  // its application when a valid one is there, else its loader. Returns
  // false when the keyboard is on the bus or on its way back.
  bool plugIn(Clock::time_point now);

  // When the host must next call advance() (a pending departure or arrival);
  // nothing when no change is pending.
  std::optional<Clock::time_point> nextBusChange() const;
  // Applies every bus change due at `now`, in order.
  std::vector<BusChange> advance(Clock::time_point now);

  // What the keyboard saw: final mode, versions, serial, sha256 and size of
  // the main and second images received, counts of each request, the ordered
  // request log and the device-side times (ms since construction) of the
  // first DNLOAD, of the end-of-data request and of the latest plug-in by
  // hand, the DFU state and status now and the state it first appeared in,
  // and whether it has hung (answering nothing).
  // "requestCounts" holds every request kind, 0 for those never seen; an
  // image never sent has size 0 and the digest of no bytes, and an image is
  // complete only when the keyboard believed and installed it. Each entry of
  // "requests" says whether the keyboard was busy when it came ("busy"): it
  // had answered dfuDNBUSY for a block not yet taken, or dfuMANIFEST for a
  // manifestation not over. "refusedWhileBusy" counts those it stalled: any
  // request before the time it announced, and afterwards whatever the state
  // it waits in between its answers refuses.
  nlohmann::json report() const;

 private:
  struct Impl;
  KeyboardConfig m_config;
  // The implementation keeps its state here; see SimulatedKeyboard.cpp.
  std::shared_ptr<Impl> m_impl;
};

}  // namespace simkbd
