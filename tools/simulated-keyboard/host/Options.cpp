#include "Options.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>

namespace simkbd {
namespace {

constexpr std::uint64_t kMaxU16 = std::numeric_limits<std::uint16_t>::max();
constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
// The longest the keyboard is busy after a dfuDNBUSY answer, and the longest
// our updater waits before it asks again: a longer bwPollTimeout would
// announce a time the keyboard does not take.
constexpr std::uint64_t kMaxPollTimeout = 1000;
constexpr std::uint64_t kMaxPort = 127;              // as many ports as the bus has addresses

// A decimal number, or a hexadecimal one with 0x when `hex` allows it; no
// sign, no spaces, nothing after it, at most `max`.
std::optional<std::uint64_t> number(const std::string& text, std::uint64_t max, bool hex = false) {
  std::string digits = text;
  unsigned base = 10;
  if (hex && (digits.starts_with("0x") || digits.starts_with("0X"))) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > max) return std::nullopt;
  }
  return value;
}

// A DFU state by its number or by its name as the DFU 1.1 document writes it
// ("dfuDNLOAD-SYNC").
std::optional<std::uint64_t> dfuState(const std::string& text) {
  static const std::map<std::string, std::uint64_t> names = {
      {"appIDLE", appIDLE},
      {"appDETACH", appDETACH},
      {"dfuIDLE", dfuIDLE},
      {"dfuDNLOAD-SYNC", dfuDNLOAD_SYNC},
      {"dfuDNBUSY", dfuDNBUSY},
      {"dfuDNLOAD-IDLE", dfuDNLOAD_IDLE},
      {"dfuMANIFEST-SYNC", dfuMANIFEST_SYNC},
      {"dfuMANIFEST", dfuMANIFEST},
      {"dfuMANIFEST-WAIT-RESET", dfuMANIFEST_WAIT_RESET},
      {"dfuUPLOAD-IDLE", dfuUPLOAD_IDLE},
      {"dfuERROR", dfuERROR},
  };
  if (auto named = names.find(text); named != names.end()) return named->second;
  return number(text, 0xFF);
}

// A request by its number, or a DFU class request by its name as the DFU 1.1
// document writes it ("DFU_ABORT").
std::optional<std::uint64_t> request(const std::string& text) {
  static const std::map<std::string, std::uint64_t> names = {
      {"DFU_DETACH", 0},    {"DFU_DNLOAD", 1},   {"DFU_UPLOAD", 2}, {"DFU_GETSTATUS", 3},
      {"DFU_CLRSTATUS", 4}, {"DFU_GETSTATE", 5}, {"DFU_ABORT", 6},
  };
  if (auto named = names.find(text); named != names.end()) return named->second;
  return number(text, 0xFF, true);
}

// The text of a value as an error message shows it: control characters, and
// every byte of text that is not UTF-8, as \xHH.
std::string shown(const std::string& value) {
  const bool utf8 = KeyboardConfig::validSerial(value);
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80)) {
      static const char digits[] = "0123456789ABCDEF";
      out += {'\\', 'x', digits[byte >> 4], digits[byte & 0x0F]};
    } else {
      out += c;
    }
  }
  return out;
}

bool validSize(std::uint64_t size) {
  return size <= kMaxU32 && KeyboardConfig::familyProductId(static_cast<unsigned>(size)) != 0;
}

// Each valued option stores its text into the first keyboard or the options;
// it returns what is wrong with the text, empty when nothing is.
using Setter = std::function<std::string(const std::string& value, Options& options)>;

template <typename Field>
Setter numberInto(Field KeyboardConfig::*field, std::uint64_t max, bool hex = false) {
  return [field, max, hex](const std::string& value, Options& options) -> std::string {
    const std::optional<std::uint64_t> parsed = number(value, max, hex);
    if (!parsed) return "expects a number from 0 to " + std::to_string(max);
    options.keyboards.front().*field = static_cast<Field>(*parsed);
    return {};
  };
}

template <typename Field>
Setter optionalNumberInto(std::optional<Field> KeyboardConfig::*field, std::uint64_t max, bool hex = false,
                          std::uint64_t min = 0) {
  return [field, max, hex, min](const std::string& value, Options& options) -> std::string {
    const std::optional<std::uint64_t> parsed = number(value, max, hex);
    if (!parsed || *parsed < min) return "expects a number from " + std::to_string(min) + " to " + std::to_string(max);
    options.keyboards.front().*field = static_cast<Field>(*parsed);
    return {};
  };
}

const std::map<std::string, std::function<void(KeyboardConfig&)>>& flags() {
  static const std::map<std::string, std::function<void(KeyboardConfig&)>> table = {
      {"--start-in-update-mode", [](KeyboardConfig& c) { c.startInUpdateMode = true; }},
      {"--no-will-detach", [](KeyboardConfig& c) { c.willDetach = false; }},
      {"--not-manifestation-tolerant", [](KeyboardConfig& c) { c.manifestationTolerant = false; }},
      {"--no-reenumerate", [](KeyboardConfig& c) { c.noReenumerate = true; }},
      {"--busy-forever", [](KeyboardConfig& c) { c.busyForever = true; }},
      {"--short-status", [](KeyboardConfig& c) { c.shortStatus = true; }},
      {"--bad-config-descriptor", [](KeyboardConfig& c) { c.badConfigDescriptor = true; }},
      {"--plug-in-on-signal", [](KeyboardConfig& c) { c.startUnplugged = true; }},
      {"--real-manufacturer", [](KeyboardConfig& c) { c.realManufacturer = true; }},
  };
  return table;
}

const std::map<std::string, Setter>& valued() {
  static const std::map<std::string, Setter> table = {
      {"--size",
       [](const std::string& value, Options& options) -> std::string {
         const std::optional<std::uint64_t> size = number(value, kMaxU32);
         if (!size || !validSize(*size)) return "expects 25, 49, 61 or 88";
         options.keyboards.front().size = static_cast<unsigned>(*size);
         return {};
       }},
      {"--main-version", numberInto(&KeyboardConfig::mainVersion, kMaxU16)},
      {"--second-version", numberInto(&KeyboardConfig::secondVersion, kMaxU16)},
      {"--serial",
       [](const std::string& value, Options& options) -> std::string {
         if (!KeyboardConfig::validSerial(value)) return "expects UTF-8 text";
         options.keyboards.front().serial = value;
         return {};
       }},
      {"--transfer-size",
       [](const std::string& value, Options& options) -> std::string {
         const std::optional<std::uint64_t> size = number(value, kMaxU16);
         if (!size || *size == 0) return "expects a number from 1 to 65535";
         options.keyboards.front().transferSize = static_cast<std::uint16_t>(*size);
         return {};
       }},
      {"--poll-timeout", numberInto(&KeyboardConfig::pollTimeoutMs, kMaxPollTimeout)},
      {"--busy-polls", numberInto(&KeyboardConfig::busyPolls, kMaxU32)},
      {"--busy-block", optionalNumberInto(&KeyboardConfig::busyBlock, kMaxU32)},
      {"--manifest-polls", optionalNumberInto(&KeyboardConfig::manifestPolls, kMaxU32, false, 1)},
      {"--reenumerate-delay",
       [](const std::string& value, Options& options) -> std::string {
         // MS, or MS,LATER: the first time off the bus, then every later one.
         const std::size_t comma = value.find(',');
         const std::optional<std::uint64_t> first = number(value.substr(0, comma), kMaxU32);
         const std::optional<std::uint64_t> later =
             comma == std::string::npos ? first : number(value.substr(comma + 1), kMaxU32);
         if (!first || !later) return "expects MS or MS,LATER, numbers from 0 to " + std::to_string(kMaxU32);
         options.keyboards.front().reenumerateDelayMs = static_cast<std::uint32_t>(*first);
         if (comma != std::string::npos) options.keyboards.front().laterReenumerateDelayMs = static_cast<std::uint32_t>(*later);
         return {};
       }},
      {"--reenumerate-port", optionalNumberInto(&KeyboardConfig::reenumeratePort, kMaxPort, false, 1)},
      {"--product-id", optionalNumberInto(&KeyboardConfig::productId, kMaxU16, true)},
      {"--new-main-version", numberInto(&KeyboardConfig::newMainVersion, kMaxU16)},
      {"--new-second-version", optionalNumberInto(&KeyboardConfig::newSecondVersion, kMaxU16)},
      {"--fail-block", optionalNumberInto(&KeyboardConfig::failBlock, kMaxU32)},
      {"--unplug-block", optionalNumberInto(&KeyboardConfig::unplugBlock, kMaxU32)},
      {"--hang-block", optionalNumberInto(&KeyboardConfig::hangBlock, kMaxU32)},
      {"--stall-request",
       [](const std::string& value, Options& options) -> std::string {
         const std::optional<std::uint64_t> code = request(value);
         if (!code) return "expects a DFU request name (DFU_DNLOAD...) or a request number from 0 to 255 (0xFF)";
         options.keyboards.front().stallRequests.insert(static_cast<std::uint8_t>(*code));
         return {};
       }},
      {"--hang-request",
       [](const std::string& value, Options& options) -> std::string {
         if (!KeyboardConfig::hangableRequest(value)) {
           return "expects a request as the report's requestCounts names it (GET_DESCRIPTOR, DETACH, GETSTATUS, "
                  "CUSTOM_VERSION...) or SERIAL_NUMBER";
         }
         options.keyboards.front().hangRequests.insert(value);
         return {};
       }},
      {"--state-after-block",
       [](const std::string& value, Options& options) -> std::string {
         const std::size_t colon = value.find(':');
         const std::optional<std::uint64_t> block = number(value.substr(0, colon), kMaxU32);
         const std::optional<std::uint64_t> state =
             colon == std::string::npos ? std::nullopt : dfuState(value.substr(colon + 1));
         if (!block || !state) return "expects BLOCK:STATE, a block number and a DFU state name or number";
         options.keyboards.front().stateAfterBlock =
             std::pair(static_cast<std::uint32_t>(*block), static_cast<std::uint8_t>(*state));
         return {};
       }},
      {"--start-state",
       [](const std::string& value, Options& options) -> std::string {
         static const std::map<std::string, DfuState> states = {{"error", dfuERROR}, {"dnload-idle", dfuDNLOAD_IDLE}};
         const auto state = states.find(value);
         if (state == states.end()) return "expects error or dnload-idle";
         options.keyboards.front().startState = state->second;
         options.keyboards.front().startInUpdateMode = true;
         return {};
       }},
      {"--add-keyboard",
       [](const std::string& value, Options& options) -> std::string {
         // SIZE:SERIAL[:MAIN[:SECOND]]; the serial number cannot hold a colon.
         std::vector<std::string> fields;
         for (std::size_t from = 0;;) {
           const std::size_t colon = value.find(':', from);
           fields.push_back(value.substr(from, colon - from));
           if (colon == std::string::npos) break;
           from = colon + 1;
         }
         KeyboardConfig added;
         const std::optional<std::uint64_t> size = number(fields.front(), kMaxU32);
         const std::optional<std::uint64_t> main =
             fields.size() > 2 ? number(fields[2], kMaxU16) : std::optional<std::uint64_t>(added.mainVersion);
         const std::optional<std::uint64_t> second =
             fields.size() > 3 ? number(fields[3], kMaxU16) : std::optional<std::uint64_t>(added.secondVersion);
         if (fields.size() < 2 || fields.size() > 4 || !size || !validSize(*size) || !main || !second) {
           return "expects SIZE:SERIAL[:MAIN[:SECOND]] with a size of 25, 49, 61 or 88 and versions from 0 to " +
                  std::to_string(kMaxU16);
         }
         if (!KeyboardConfig::validSerial(fields[1])) return "expects a SERIAL of UTF-8 text";
         added.size = static_cast<unsigned>(*size);
         added.serial = fields[1];
         added.mainVersion = static_cast<std::uint16_t>(*main);
         added.secondVersion = static_cast<std::uint16_t>(*second);
         options.keyboards.push_back(added);
         return {};
       }},
      {"--report",
       [](const std::string& value, Options& options) -> std::string {
         if (value.empty()) return "expects a file name";
         options.reportPath = value;
         return {};
       }},
  };
  return table;
}

}  // namespace

bool Options::parse(std::span<const std::string> arguments, Options& options, std::string& error) {
  options = Options();
  options.keyboards.emplace_back();
  std::size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--") {
      ++i;
      break;
    }
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      return true;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (auto flag = flags().find(name); flag != flags().end()) {
      if (equals != std::string::npos) {
        error = name + " takes no value";
        return false;
      }
      flag->second(options.keyboards.front());
      continue;
    }
    auto setter = valued().find(name);
    if (setter == valued().end()) {
      error = argument.starts_with("-") ? "unknown option " + argument
                                        : "expected -- before the command " + argument;
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      error = name + " needs a value";
      return false;
    }
    if (std::string problem = setter->second(value, options); !problem.empty()) {
      error = name + " " + problem + ", not \"" + shown(value) + "\"";
      return false;
    }
  }
  // Each keyboard added sits on the port of its number from the start, and
  // two devices cannot share a port: the first could never come back there.
  const std::optional<unsigned> port = options.keyboards.front().reenumeratePort;
  if (port && *port >= 2 && *port <= options.keyboards.size()) {
    const std::string last = std::to_string(options.keyboards.size());
    error = "--reenumerate-port " + std::to_string(*port) + " is held by a keyboard --add-keyboard adds (" +
            (last == "2" ? "port 2" : "ports 2 to " + last) +
            "), where the first could not come back; give 1 or a port above " + last;
    return false;
  }
  if (options.keyboards.front().manifestPolls && !options.keyboards.front().manifestationTolerant) {
    error = "--manifest-polls needs a manifestation-tolerant keyboard: one that is not is polled once and restarts "
            "by itself";
    return false;
  }
  options.command.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());
  if (options.command.empty()) {
    error = "no command to run: put it after --";
    return false;
  }
  return true;
}

std::string Options::usage() {
  return "usage: simulated-keyboard [options] -- COMMAND [ARG...]\n"
         "Runs COMMAND with a simulated keyboard on a umockdev USB bus, serves it until\n"
         "COMMAND exits and exits with COMMAND's exit code.\n"
         "\n"
         "The keyboard:\n"
         "  --size 25|49|61|88            keyboard size (49)\n"
         "  --main-version N              installed main firmware version (68)\n"
         "  --second-version N            installed second image version (12)\n"
         "  --serial TEXT                 serial number, UTF-8; empty for none (SIMKBD0001)\n"
         "  --product-id P                normal-mode product id, hex with 0x or decimal, in\n"
         "                                place of the size's (0x1340, 0x1350, 0x1360, 0x1410);\n"
         "                                in update mode the keyboard shows P with its low four\n"
         "                                bits set to 2 (0x1352 for 49 keys)\n"
         "  --start-in-update-mode        appear in update mode\n"
         "  --start-state error|dnload-idle\n"
         "                                appear in update mode (implies --start-in-update-mode)\n"
         "                                in dfuERROR (status errWRITE) or in dfuDNLOAD-IDLE with\n"
         "                                a download begun; either way with a broken application\n"
         "  --plug-in-on-signal           start unplugged; SIGUSR1 to this program plugs it in\n"
         "  --real-manufacturer           report the maker's manufacturer string, as a real\n"
         "                                keyboard does, not one ending in \" (simulated)\"\n"
         "  --transfer-size N             wTransferSize of the DFU functional descriptor (256)\n"
         "  --poll-timeout MS             bwPollTimeout of a dfuDNBUSY answer, 0 to 1000; the\n"
         "                                keyboard is busy that long (1)\n"
         "  --busy-polls N                dfuDNBUSY answers before each block is taken (0)\n"
         "  --busy-block N                give the --busy-polls answers to block N alone, from 0;\n"
         "                                the other blocks are taken at once\n"
         "  --manifest-polls N            dfuMANIFEST answers manifestation takes, each for the\n"
         "                                poll timeout (default one answer, for 100 ms); not\n"
         "                                with --not-manifestation-tolerant\n"
         "  --no-will-detach              clear bitWillDetach: the host must reset the device\n"
         "  --not-manifestation-tolerant  clear bitManifestationTolerant\n"
         "  --reenumerate-delay MS[,LATER]\n"
         "                                time off the bus when re-enumerating (200); with\n"
         "                                LATER, MS the first time and LATER each time after\n"
         "  --reenumerate-port PORT       come back on root-hub port PORT after leaving the bus\n"
         "                                (each keyboard keeps a port of its own by default:\n"
         "                                1, then 2, 3... for those --add-keyboard adds, which\n"
         "                                PORT cannot be)\n"
         "  --new-main-version N          version a complete main download installs (69)\n"
         "  --new-second-version N        version a complete second download installs\n"
         "Faults:\n"
         "  --fail-block N                errWRITE in the status after block N\n"
         "  --unplug-block N              leave the bus on block N\n"
         "  --hang-block N                answer no request from the DNLOAD of block N on; the\n"
         "                                empty DNLOAD that ends the data counts as the block\n"
         "                                after the last (370 for the 49-key main image)\n"
         "  --no-reenumerate              leave the bus and never come back\n"
         "  --stall-request REQ           stall every class or vendor request REQ (repeatable):\n"
         "                                DFU_DETACH, DFU_DNLOAD, DFU_UPLOAD, DFU_GETSTATUS,\n"
         "                                DFU_CLRSTATUS, DFU_GETSTATE, DFU_ABORT (0 to 6), or a\n"
         "                                number: 0xF2 and 0xF3 the resets into and out of\n"
         "                                update mode, 29 the writes of the second image, 0xB3\n"
         "                                the read of its version\n"
         "  --hang-request NAME           leave every request NAME unanswered until the host\n"
         "                                cancels it or the keyboard leaves the bus (repeatable):\n"
         "                                a key of the report's requestCounts (GET_DESCRIPTOR,\n"
         "                                DETACH, CUSTOM_VERSION...) or SERIAL_NUMBER, the read of\n"
         "                                the serial-number string, then missing from sysfs\n"
         "  --state-after-block N:S       report state S (dfuDNLOAD-SYNC or a number) after block N\n"
         "  --busy-forever                answer dfuDNBUSY for ever\n"
         "  --short-status                answer GETSTATUS with fewer than 6 bytes\n"
         "  --bad-config-descriptor       send a configuration descriptor whose lengths lie\n"
         "More keyboards and output:\n"
         "  --add-keyboard SIZE:SERIAL[:MAIN[:SECOND]]\n"
         "                                another keyboard with the defaults of SIZE, or the\n"
         "                                installed versions given (repeatable; no colon in SERIAL)\n"
         "  --report FILE                 write what the keyboards saw as JSON at exit\n"
         "  --help                        show this text\n";
}

}  // namespace simkbd
