#include "Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace simkbd {
namespace {

struct Parsed {
  bool ok = false;
  Options options;
  std::string error;
};

Parsed parse(std::vector<std::string> arguments) {
  Parsed parsed;
  parsed.ok = Options::parse(arguments, parsed.options, parsed.error);
  return parsed;
}

TEST(Options, EveryOptionReachesItsSetting) {
  const Parsed parsed = parse({"--size", "88", "--main-version", "70", "--second-version", "15",
                               "--serial", "ABC", "--start-in-update-mode", "--transfer-size", "1024",
                               "--poll-timeout", "5", "--busy-polls", "3", "--busy-block", "0",
                               "--hang-request", "CUSTOM_VERSION", "--hang-request",
                               "SERIAL_NUMBER", "--no-will-detach",
                               "--not-manifestation-tolerant", "--reenumerate-delay", "50,7",
                               "--reenumerate-port", "9",
                               "--product-id", "0x1351", "--new-main-version", "71",
                               "--new-second-version", "16", "--fail-block", "4", "--unplug-block", "5",
                               "--hang-block", "7", "--no-reenumerate", "--stall-request", "3", "--stall-request", "0x01",
                               "--stall-request", "DFU_ABORT",
                               "--state-after-block", "6:dfuDNLOAD-SYNC", "--busy-forever", "--short-status",
                               "--bad-config-descriptor", "--plug-in-on-signal", "--start-state", "dnload-idle",
                               "--real-manufacturer", "--report", "out.json", "--", "true"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const KeyboardConfig& k = parsed.options.keyboards.front();
  EXPECT_EQ(k.size, 88u);
  EXPECT_EQ(k.mainVersion, 70);
  EXPECT_EQ(k.secondVersion, 15);
  EXPECT_EQ(k.serial, "ABC");
  EXPECT_EQ(k.transferSize, 1024);
  EXPECT_EQ(k.pollTimeoutMs, 5u);
  EXPECT_EQ(k.busyPolls, 3u);
  EXPECT_EQ(k.busyBlock, 0u);
  EXPECT_EQ(k.hangRequests, (std::set<std::string>{"CUSTOM_VERSION", "SERIAL_NUMBER"}));
  EXPECT_EQ(k.reenumerateDelayMs, 50u);
  EXPECT_EQ(k.laterReenumerateDelayMs, 7u);
  EXPECT_EQ(k.reenumeratePort, 9u);
  EXPECT_EQ(k.productId, 0x1351);
  EXPECT_EQ(k.newMainVersion, 71);
  EXPECT_EQ(k.newSecondVersion, 16);
  EXPECT_EQ(k.failBlock, 4u);
  EXPECT_EQ(k.unplugBlock, 5u);
  EXPECT_EQ(k.hangBlock, 7u);
  EXPECT_EQ(k.stallRequests, (std::set<std::uint8_t>{1, 3, 6}));
  EXPECT_EQ(k.stateAfterBlock, (std::pair<std::uint32_t, std::uint8_t>(6, dfuDNLOAD_SYNC)));
  EXPECT_EQ(k.startState, dfuDNLOAD_IDLE);
  EXPECT_TRUE(k.startInUpdateMode && k.noReenumerate && k.busyForever && k.shortStatus && k.badConfigDescriptor &&
              k.startUnplugged && k.realManufacturer);
  EXPECT_FALSE(k.willDetach || k.manifestationTolerant);
  EXPECT_EQ(parsed.options.reportPath, "out.json");
}

TEST(Options, ValuesAfterEqualsAddedKeyboardsAndTheCommandsOwnOptions) {
  const Parsed parsed = parse({"--size=61", "--product-id=4944", "--serial=", "--state-after-block=2:3",
                               "--start-state=error", "--manifest-polls=4", "--add-keyboard", "88:SECOND",
                               "--add-keyboard=49:BBB:69:13", "--add-keyboard", "25:CCC:70", "--", "tool", "--size",
                               "--", "x"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  ASSERT_EQ(parsed.options.keyboards.size(), 4u);
  const KeyboardConfig& first = parsed.options.keyboards[0];
  EXPECT_EQ(first.size, 61u);
  EXPECT_EQ(first.manifestPolls, 4u);
  EXPECT_EQ(first.productId, 0x1350);  // decimal
  EXPECT_EQ(first.serial, "");         // a keyboard without a serial-number string
  EXPECT_EQ(first.stateAfterBlock, (std::pair<std::uint32_t, std::uint8_t>(2, 3)));
  EXPECT_EQ(first.startState, dfuERROR);
  EXPECT_TRUE(first.startInUpdateMode);  // implied by --start-state
  // The options shape the first keyboard only; the added one has the defaults of its size.
  EXPECT_EQ(parsed.options.keyboards[1].size, 88u);
  EXPECT_EQ(parsed.options.keyboards[1].serial, "SECOND");
  EXPECT_EQ(parsed.options.keyboards[1].mainVersion, 68);
  EXPECT_EQ(parsed.options.keyboards[1].secondVersion, 12);
  EXPECT_FALSE(parsed.options.keyboards[1].productId);
  EXPECT_FALSE(parsed.options.keyboards[1].startInUpdateMode);
  EXPECT_EQ(parsed.options.keyboards[1].startState, dfuIDLE);
  // Or with the versions given: an up-to-date bystander, one with an old main image.
  EXPECT_EQ(parsed.options.keyboards[2].serial, "BBB");
  EXPECT_EQ(parsed.options.keyboards[2].mainVersion, 69);
  EXPECT_EQ(parsed.options.keyboards[2].secondVersion, 13);
  EXPECT_EQ(parsed.options.keyboards[3].size, 25u);
  EXPECT_EQ(parsed.options.keyboards[3].mainVersion, 70);
  EXPECT_EQ(parsed.options.keyboards[3].secondVersion, 12);
  EXPECT_EQ(parsed.options.command, (std::vector<std::string>{"tool", "--size", "--", "x"}));
  EXPECT_TRUE(parse({"--help"}).options.help);  // needs no command
}

TEST(Options, BadCommandLinesAreRefusedWithTheOptionNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--size", "50", "--", "true"}, "--size"},
      {{"--main-version", "65536", "--", "true"}, "--main-version"},
      {{"--second-version", "12abc", "--", "true"}, "--second-version"},
      {{"--transfer-size", "0", "--", "true"}, "--transfer-size"},
      {{"--poll-timeout", "1001", "--", "true"}, "--poll-timeout"},
      {{"--busy-polls", "99999999999999999999999", "--", "true"}, "--busy-polls"},
      {{"--product-id", "0x10000", "--", "true"}, "--product-id"},
      {{"--reenumerate-delay", "0x10", "--", "true"}, "--reenumerate-delay"},
      {{"--reenumerate-delay", "10,", "--", "true"}, "--reenumerate-delay"},
      {{"--reenumerate-delay", "10,20,30", "--", "true"}, "--reenumerate-delay"},
      {{"--reenumerate-port", "0", "--", "true"}, "--reenumerate-port"},
      {{"--reenumerate-port", "128", "--", "true"}, "--reenumerate-port"},
      {{"--stall-request", "256", "--", "true"}, "--stall-request"},
      {{"--busy-block", "-1", "--", "true"}, "--busy-block"},
      {{"--manifest-polls", "0", "--", "true"}, "--manifest-polls"},
      {{"--manifest-polls", "2", "--not-manifestation-tolerant", "--", "true"}, "--manifest-polls needs"},
      {{"--hang-request", "USB_RESET", "--", "true"}, "--hang-request expects"},
      {{"--state-after-block", "3", "--", "true"}, "--state-after-block"},
      {{"--state-after-block", "3:256", "--", "true"}, "--state-after-block"},
      {{"--state-after-block", "3:dfuBOGUS", "--", "true"}, "--state-after-block"},
      {{"--add-keyboard", "50:X", "--", "true"}, "--add-keyboard"},
      {{"--add-keyboard", "49", "--", "true"}, "--add-keyboard"},
      {{"--add-keyboard", "49:X:65536", "--", "true"}, "--add-keyboard"},
      {{"--add-keyboard", "49:X:69:", "--", "true"}, "--add-keyboard"},
      {{"--add-keyboard", "49:X:69:-1", "--", "true"}, "--add-keyboard"},
      {{"--add-keyboard", "49:X:0x45", "--", "true"}, "--add-keyboard"},
      {{"--add-keyboard", "49:X:69:13:1", "--", "true"}, "--add-keyboard"},
      {{"--start-state", "idle", "--", "true"}, "--start-state"},
      {{"--start-state", "dfuERROR", "--", "true"}, "--start-state"},
      {{"--serial", "A\xFF", "--", "true"}, "--serial expects UTF-8 text, not \"A\\xFF\""},
      {{"--add-keyboard", "49:\xC3", "--", "true"}, "--add-keyboard"},
      {{"--reenumerate-port", "2", "--add-keyboard", "49:BBB", "--", "true"}, "--reenumerate-port 2 is held"},
      {{"--add-keyboard", "49:B", "--add-keyboard", "25:C", "--reenumerate-port=3", "--", "true"}, "port above 3"},
      {{"--report", "", "--", "true"}, "--report"},
      {{"--busy-forever=yes", "--", "true"}, "--busy-forever"},
      {{"--fail-block"}, "--fail-block"},
      {{"--colour", "--", "true"}, "--colour"},
      {{"dfu-util", "-l"}, "dfu-util"},
      {{"--size", "49"}, "--"},
  };
  for (const auto& [arguments, named] : cases) {
    const Parsed parsed = parse(arguments);
    EXPECT_FALSE(parsed.ok) << testing::PrintToString(arguments);
    EXPECT_NE(parsed.error.find(named), std::string::npos)
        << testing::PrintToString(arguments) << " gave: " << parsed.error;
  }
}

}  // namespace
}  // namespace simkbd
