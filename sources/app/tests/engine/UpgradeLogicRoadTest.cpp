// The update engine against simulated keyboards served to the real libusb
// through umockdev, in-process. The road's waits are real (2.5 s before the
// keyboard is looked for in update mode, manifestation steps, 5 s of settling
// after the writes), so each test walks as much of the road as it can.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <boost/function.hpp>

#include "FirmwareImages.h"
#include "QV/GP/Lib.h"
#include "QV/QDV2/DFUDevice.h"
#include "QV/UIA/Lib.h"
#include "Sha256.h"
#include "SimulatedKeyboardFixture.h"
#include "TestableUpgradeLogic.h"
#include "ZARNUpdaterAppModule.h"
#include "ZARNUpdaterUpgradeLogic.h"

namespace QV {
namespace {

using namespace std::chrono_literals;
using TestSupport::PluggedKeyboard;
using TestSupport::keyboardConfig;

const FW::FirmwareImageEntry& imagesOfSize(unsigned size) {
  const std::uint16_t family = simkbd::KeyboardConfig::familyProductId(size);
  for (const FW::FirmwareImageEntry& entry : FW::arrFW) {
    if (entry.productId == family) {
      return entry;
    }
  }
  ADD_FAILURE() << "no firmware row for " << size << " keys";
  return FW::arrFW[0];
}

std::string sha256(const std::uint8_t* data, std::uint64_t size) {
  return simkbd::Sha256::hex(std::span<const std::uint8_t>(data, size));
}

struct DeviceTexts {
  QDV2::USBDeviceInfo info;
  std::string installed = "unchanged";
  std::string newest;
  bool updateAvailable = true;
};

DeviceTexts deviceInfo(ZARNUpdaterUpgradeLogic& logic) {
  DeviceTexts texts;
  logic.getDeviceInfo(texts.info, texts.installed, texts.newest, texts.updateAvailable);
  return texts;
}

class UpgradeLogicRoadTest : public TestSupport::SimulatedKeyboardTest {
 protected:
  // What the application does once the word holds 1: connects in normal mode,
  // once more after 5 s when the keyboard is not back yet, and reads the
  // revisions again.
  static DeviceTexts reconnectAndRead(ZARNUpdaterUpgradeLogic& logic) {
    if (!logic.connectInNormalMode()) {
      std::this_thread::sleep_for(5s);
      EXPECT_TRUE(logic.connectInNormalMode());
    }
    return deviceInfo(logic);
  }

  // Walks the whole road with `config` and checks that the keyboard ends at
  // the newest revisions with the embedded images, the second one only when
  // it was due.
  static void updateAndCheck(const simkbd::KeyboardConfig& config, bool secondImageDue) {
    auto keyboard = TestSupport::plugOrFail(config);
    ASSERT_TRUE(keyboard);
    TestableUpgradeLogic logic;
    ASSERT_TRUE(logic.connectInNormalMode());
    DeviceTexts before = deviceInfo(logic);
    EXPECT_EQ(before.installed, std::to_string(config.mainVersion));
    EXPECT_EQ(before.newest, "69");
    EXPECT_TRUE(before.updateAvailable);
    EXPECT_EQ(logic.secondImageDue(), secondImageDue);

    ASSERT_TRUE(logic.resetIntoUpdateMode());
    int word = -5;
    ASSERT_TRUE(logic.performUpdate(word));
    EXPECT_EQ(waitForResult(word), 1);
    EXPECT_FALSE(logic.isUpdateRunning());

    DeviceTexts after = reconnectAndRead(logic);
    EXPECT_EQ(after.info.version, 69);
    EXPECT_EQ(after.info.serialNumber, config.serial);
    EXPECT_EQ(after.installed, "69");
    EXPECT_EQ(after.newest, "69");
    EXPECT_FALSE(after.updateAvailable);

    const FW::FirmwareImageEntry& images = imagesOfSize(config.size);
    const nlohmann::json report = keyboard->report();
    EXPECT_EQ(report["mode"], "normal");
    EXPECT_EQ(report["mainImage"]["sha256"], sha256(images.mainImage, images.mainImageSize));
    if (secondImageDue) {
      EXPECT_EQ(report["secondImage"]["sha256"], sha256(images.secondImage, images.secondImageSize));
    } else {
      EXPECT_EQ(report["secondImage"]["size"], 0);
    }
  }
};

TEST_F(UpgradeLogicRoadTest, RevisionsAndTextsDecideWhetherAnUpdateIsDue) {
  TestableUpgradeLogic idle;
  DeviceTexts none = deviceInfo(idle);
  EXPECT_EQ(none.info.version, 0);
  EXPECT_EQ(none.installed, "unchanged");
  EXPECT_EQ(none.newest, "69");
  EXPECT_FALSE(none.updateAvailable);

  struct Case {
    unsigned size;
    std::uint16_t main;
    std::uint16_t second;
    bool unreadableSecond;
    const char* installed;
    const char* newest;
    bool updateAvailable;
    std::optional<bool> secondImageDue;
    bool updateMode = false;
  };
  const Case cases[] = {
      {49, 69, 13, false, "69", "69", false, false},
      {88, 69, 14, false, "69", "69", false, false},
      {88, 69, 13, false, "69 / 13", "69 / 14", true, true},
      {49, 69, 12, false, "69 / 12", "69 / 13", true, true},
      {49, 69, 15, false, "69 / 15", "69 / 13", false, false},
      {49, 68, 13, false, "68", "69", true, false},
      {25, 68, 12, false, "68", "69", true, true},
      {61, 69, 13, true, "69 / 0", "69 / 13", true, true},
      // Newer than ours: never taken back, nor the second image written.
      {49, 70, 12, false, "70", "69", false, true},
      {88, 69, 15, false, "69 / 15", "69 / 14", false, false},
      // A keyboard in its loader runs no firmware, whatever it reports: an
      // update is due until it is back in normal mode. It may still be busy
      // with a block an earlier attempt left it with, and is sent nothing:
      // the worker reads its second image's version once it is idle.
      {49, 70, 14, false, "70", "69", true, std::nullopt, true},
      {88, 69, 14, false, "69", "69", true, std::nullopt, true},
      {49, 69, 12, false, "69", "69", true, std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " keys, " << c.main << " / " << c.second
                                      << (c.unreadableSecond ? " unreadable" : "")
                                      << (c.updateMode ? " in update mode" : ""));
    simkbd::KeyboardConfig config = keyboardConfig(c.size, "SIMKBD0101", c.updateMode);
    config.mainVersion = c.main;
    config.secondVersion = c.second;
    if (c.unreadableSecond) {
      config.stallRequests = {0xB3};
    }
    auto keyboard = TestSupport::plugOrFail(config);
    ASSERT_TRUE(keyboard);

    TestableUpgradeLogic logic;
    ASSERT_TRUE(logic.connectInNormalMode());
    const std::size_t requestsBefore = keyboard->report()["requests"].size();
    const DeviceTexts texts = deviceInfo(logic);
    if (c.updateMode) {
      EXPECT_EQ(keyboard->report()["requests"].size(), requestsBefore) << "a request reached the keyboard";
    }
    EXPECT_EQ(texts.info.vendorId, 0x17CC);
    EXPECT_EQ(texts.info.productId, simkbd::KeyboardConfig::familyProductId(c.size) + (c.updateMode ? 2 : 0));
    EXPECT_EQ(texts.info.version, c.main);
    EXPECT_EQ(texts.info.serialNumber, "SIMKBD0101");
    EXPECT_EQ(texts.installed, c.installed);
    EXPECT_EQ(texts.newest, c.newest);
    EXPECT_EQ(texts.updateAvailable, c.updateAvailable);
    EXPECT_EQ(logic.secondImageDue(), c.secondImageDue);
  }
}

TEST_F(UpgradeLogicRoadTest, UpdatesThatCannotStartLeaveTheKeyboardAlone) {
  {
    SCOPED_TRACE("keyboard in normal mode");
    auto keyboard = TestSupport::plugOrFail(keyboardConfig(49, "SIMKBD0201"));
    ASSERT_TRUE(keyboard);
    TestableUpgradeLogic logic;
    ASSERT_TRUE(logic.connectInNormalMode());
    int word = 7;
    EXPECT_FALSE(logic.performUpdate(word));
    EXPECT_EQ(word, -1);
    EXPECT_FALSE(logic.isUpdateRunning());
    EXPECT_EQ(keyboard->report()["requestCounts"]["DNLOAD"], 0);
  }

  // A build with placeholder images sends a real keyboard nothing that would
  // change it, in either mode.
  for (const bool updateMode : {false, true}) {
    if (!FW::imagesArePlaceholders()) break;
    SCOPED_TRACE(updateMode ? "a real keyboard in update mode" : "a real keyboard in normal mode");
    simkbd::KeyboardConfig config = keyboardConfig(49, "SIMKBD0203", updateMode);
    config.realManufacturer = true;
    auto real = TestSupport::plugOrFail(config);
    ASSERT_TRUE(real);
    TestableUpgradeLogic logic;
    ASSERT_TRUE(logic.connectInNormalMode());
    int word = 7;
    EXPECT_FALSE(logic.resetIntoUpdateMode());
    EXPECT_FALSE(logic.connectInUpdateMode());
    EXPECT_FALSE(logic.performUpdate(word));
    EXPECT_EQ(word, -1);
    // Reads only: every request the keyboard saw is device to host.
    const nlohmann::json report = real->report();
    for (const nlohmann::json& request : report["requests"]) {
      EXPECT_GE(request["bmRequestType"], 0x80) << request;
    }
  }

  // A keyboard left in update mode is found by the normal scan and connected
  // in update mode at once.
  auto keyboard = TestSupport::plugOrFail(keyboardConfig(49, "SIMKBD0202", true));
  ASSERT_TRUE(keyboard);
  {
    SCOPED_TRACE("a family without firmware row");
    TestableUpgradeLogic logic;
    ASSERT_TRUE(logic.connectInNormalMode());
    EXPECT_EQ(logic.device().mode(), QDV2::DFUDevice::kModeDFU);
    const std::vector<FW::FirmwareImageEntry> others{FW::arrFW[0], FW::arrFW[2], FW::arrFW[3]};
    logic.setFirmwareTable(others);
    const std::size_t requestsBefore = keyboard->report()["requests"].size();
    int word = 7;
    ASSERT_TRUE(logic.performUpdate(word));
    EXPECT_EQ(waitForResult(word), -1);
    EXPECT_FALSE(logic.isUpdateRunning());
    EXPECT_EQ(keyboard->report()["requests"].size(), requestsBefore);
  }
  EXPECT_EQ(keyboard->report()["requestCounts"]["DNLOAD"], 0);
}

TEST_F(UpgradeLogicRoadTest, FullUpdatesBringTheKeyboardToTheNewestRevisions) {
  {
    SCOPED_TRACE("88 keys, both images due");
    updateAndCheck(keyboardConfig(88, "SIMKBD0301"), true);
  }
  {
    SCOPED_TRACE("25 keys, second image current");
    simkbd::KeyboardConfig config = keyboardConfig(25, "SIMKBD0302");
    config.secondVersion = 13;
    updateAndCheck(config, false);
  }
}

TEST_F(UpgradeLogicRoadTest, AKeyboardBackInNormalModeAfterTheMainImageTakesTheSecondInUpdateMode) {
  simkbd::KeyboardConfig config = keyboardConfig(49, "SIMKBD0401");
  config.manifestationTolerant = false;
  config.willDetach = false;
  updateAndCheck(config, true);
}

TEST_F(UpgradeLogicRoadTest, AFailedWriteIsCancelledAndReported) {
  simkbd::KeyboardConfig config = keyboardConfig(61, "SIMKBD0451", true);
  config.failBlock = 5;
  auto keyboard = TestSupport::plugOrFail(config);
  ASSERT_TRUE(keyboard);
  TestableUpgradeLogic logic;
  ASSERT_TRUE(logic.connectInNormalMode());
  int word = -5;
  ASSERT_TRUE(logic.performUpdate(word));
  EXPECT_EQ(waitForResult(word), -2);
  EXPECT_FALSE(logic.device().isConnected());

  // The keyboard's error is cleared (DFU_ABORT is refused in dfuERROR) and
  // it is asked to leave update mode.
  const nlohmann::json report = keyboard->report();
  EXPECT_NE(report["mainImage"]["complete"], true);
  EXPECT_EQ(report["requestCounts"]["CLRSTATUS"], 1);
  EXPECT_EQ(report["requestCounts"]["ABORT"], 0);
  EXPECT_EQ(report["requestCounts"]["DETACH"], 1);
  EXPECT_EQ(report["requestCounts"]["CUSTOM_WRITE"], 0);
}

TEST_F(UpgradeLogicRoadTest, AKeyboardThatComesBackLateIsFoundInUpdateModeLater) {
  // Back on the bus only after the single scan that follows the 2.5 s pause:
  // the switch fails, and a later attempt, as the wizard makes from the page
  // asking for update mode, finds it and updates it.
  simkbd::KeyboardConfig config = keyboardConfig(25, "SIMKBD0471");
  config.reenumerateDelayMs = 4000;
  auto keyboard = TestSupport::plugOrFail(config);
  ASSERT_TRUE(keyboard);
  TestableUpgradeLogic logic;
  ASSERT_TRUE(logic.connectInNormalMode());
  EXPECT_FALSE(logic.resetIntoUpdateMode());
  EXPECT_FALSE(logic.device().isConnected());
  ASSERT_TRUE(TestSupport::waitUntil([&] { return keyboard->report()["onBus"] == true; }, 10s));
  ASSERT_NE(keyboard->waitUntilListed(), 0u);
  ASSERT_TRUE(logic.connectInUpdateMode());
  int word = -5;
  ASSERT_TRUE(logic.performUpdate(word));
  EXPECT_EQ(waitForResult(word), 1);
  EXPECT_EQ(reconnectAndRead(logic).installed, "69");

  // Still connected in normal mode after the switch (its request refused, or
  // answered with an error as the keyboard left): a look only scans, and
  // finds the keyboard where it is, in update mode should it have switched
  // after all. It never waits for a keyboard to come back, as the search
  // that looks again waits on the window's timer.
  for (const bool switched : {false, true}) {
    SCOPED_TRACE(switched ? "switched after all" : "switch refused");
    simkbd::KeyboardConfig refusing = keyboardConfig(61, switched ? "SIMKBD0472" : "SIMKBD0473");
    if (!switched) refusing.stallRequests = {QDV2::DFU::DFU_DETACH};
    auto stays = TestSupport::plugOrFail(refusing);
    ASSERT_TRUE(stays);
    TestableUpgradeLogic held;
    ASSERT_TRUE(held.connectInNormalMode());
    if (switched) {
      ASSERT_TRUE(held.device().sendDFUDetach());
      ASSERT_TRUE(TestSupport::waitUntil([&] { return stays->report()["mode"] == "update"; }, 10s));
      ASSERT_NE(stays->waitUntilListed(), 0u);
    } else {
      EXPECT_FALSE(held.resetIntoUpdateMode());
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(held.connectInUpdateMode(), switched);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << "the look held the window";
  }
}

TEST_F(UpgradeLogicRoadTest, QuittingDuringAnUpdateNeverTouchesWhatIsGone) {
  {
    SCOPED_TRACE("the application's close request, then its result word goes first");
    auto keyboard = TestSupport::plugOrFail(keyboardConfig(49, "SIMKBD0501", true));
    ASSERT_TRUE(keyboard);
    auto logic = std::make_unique<TestableUpgradeLogic>();
    ASSERT_TRUE(logic->connectInNormalMode());
    auto word = std::make_unique<int>(-5);
    ASSERT_TRUE(logic->performUpdate(*word));
    EXPECT_TRUE(logic->isUpdateRunning());
    const auto start = std::chrono::steady_clock::now();
    logic->applicationCloseRequest();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(load(*word), 0);
    // A late store would now write into freed memory, which the address
    // sanitizer reports.
    word.reset();
    logic.reset();
  }
  // Busy 20 ms on each block, and 600 ms: the quit comes right after a
  // block, and its patience lets even the slower one finish it.
  for (const auto& [busyPolls, pollTimeoutMs] : {std::pair<unsigned, std::uint32_t>{1, 20}, {6, 100}}) {
    SCOPED_TRACE(::testing::Message() << "the engine destroyed in the middle of the download, "
                                      << busyPolls * pollTimeoutMs << " ms a block");
    simkbd::KeyboardConfig config = keyboardConfig(49, "SIMKBD0502", true);
    config.busyPolls = busyPolls;
    config.pollTimeoutMs = pollTimeoutMs;
    auto keyboard = TestSupport::plugOrFail(config);
    ASSERT_TRUE(keyboard);
    int word = -5;
    {
      TestableUpgradeLogic logic;
      ASSERT_TRUE(logic.connectInNormalMode());
      ASSERT_TRUE(logic.performUpdate(word));
      ASSERT_TRUE(TestSupport::waitUntil([&] { return keyboard->report()["requestCounts"]["DNLOAD"] > 2; }));
    }
    EXPECT_EQ(word, 0);
    // The block in progress is let finish before the download is cancelled:
    // the keyboard is left idle, ready for the next one.
    const nlohmann::json report = keyboard->report();
    EXPECT_NE(report["mainImage"]["complete"], true);
    EXPECT_EQ(report["requestCounts"]["ABORT"], 1);
    // The keyboard takes an abort only once it is done with the block it was
    // busy with; one sent earlier is refused and leaves it in dfuERROR, where
    // the next download would be refused too.
    EXPECT_EQ(report["state"], simkbd::dfuIDLE);
    EXPECT_EQ(report["status"], simkbd::OK);
  }
  {
    SCOPED_TRACE("the engine destroyed while the keyboard answers nothing");
    // The worker waits in a request the keyboard never answers: the quit
    // cancels it, and the requests that would bring the keyboard to idle end
    // with the patience after a quit, so the worker ends within seconds.
    simkbd::KeyboardConfig config = keyboardConfig(49, "SIMKBD0503", true);
    config.hangBlock = 5;
    auto keyboard = TestSupport::plugOrFail(config);
    ASSERT_TRUE(keyboard);
    int word = -5;
    auto logic = std::make_unique<TestableUpgradeLogic>();
    ASSERT_TRUE(logic->connectInNormalMode());
    ASSERT_TRUE(logic->performUpdate(word));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return keyboard->report()["hung"] == true; }));
    const auto start = std::chrono::steady_clock::now();
    logic.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(word, 0);
    const nlohmann::json report = keyboard->report();
    EXPECT_EQ(report["mode"], "update");
    EXPECT_EQ(report["onBus"], true);
    EXPECT_EQ(report["requestCounts"]["DNLOAD"], 6);
    // The requests it never answered were cancelled, none abandoned.
    EXPECT_GE(report["requestsCancelled"], 2);
    EXPECT_EQ(report["requestsLeftPending"], 0);

    // Still on the bus and answering nothing, beside a keyboard that
    // answers: a new start and a RESCAN each name it from the kernel's record,
    // asking neither keyboard anything, and choose it, a keyboard in update
    // mode going first. Its page is filled without asking it anything.
    auto other = TestSupport::plugOrFail(keyboardConfig(49, "SIMKBD0504"));
    ASSERT_TRUE(other);
    TestableUpgradeLogic again;
    for (const char* action : {"start", "RESCAN"}) {
      SCOPED_TRACE(action);
      again.forgetKeyboard();
      const nlohmann::json::size_type sent = keyboard->report()["requests"].size();
      EXPECT_TRUE(again.connectInNormalMode());
      EXPECT_EQ(again.device().deviceInfo().serialNumber, "SIMKBD0503");
      EXPECT_EQ(keyboard->report()["requests"].size(), sent);
      const auto read = std::chrono::steady_clock::now();
      EXPECT_TRUE(deviceInfo(again).updateAvailable);
      EXPECT_LT(std::chrono::steady_clock::now() - read, QDV2::USBDevice::kRequestTimeout + 800ms);
    }
    EXPECT_EQ(other->report()["requests"].size(), 0u);
  }
}

TEST_F(UpgradeLogicRoadTest, AQuitDuringTheWorkersLookForTheKeyboardStopsTheLook) {
  // The keyboard restarts into its new firmware at the end of the main image
  // and the worker looks for it; beside it, a keyboard whose serial number
  // the kernel did not keep holds each look as long as a request may take.
  // A quit during that look ends it at once, not once the request is over.
  simkbd::KeyboardConfig config = keyboardConfig(49, "SIMKBD0601", true);
  config.manifestationTolerant = false;
  auto keyboard = TestSupport::plugOrFail(config);
  ASSERT_TRUE(keyboard);
  simkbd::KeyboardConfig mute = keyboardConfig(61, "SIMKBD0602");
  mute.hangRequests = {"SERIAL_NUMBER"};
  auto bystander = TestSupport::plugOrFail(mute);
  ASSERT_TRUE(bystander);
  auto logic = std::make_unique<TestableUpgradeLogic>();
  ASSERT_TRUE(logic->connectInNormalMode());
  int word = -5;
  ASSERT_TRUE(logic->performUpdate(word));
  const auto asked = [&] { return bystander->report()["requests"].size(); };
  const auto before = asked();
  ASSERT_TRUE(TestSupport::waitUntil([&] { return asked() > before; }, 30s));
  const auto start = std::chrono::steady_clock::now();
  logic.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 600ms);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(bystander->report()["requestsLeftPending"], 0);
}

TEST_F(UpgradeLogicRoadTest, TheModuleBindsTheEngineFromInitToDeInit) {
  ZARNUpdaterAppModule module;
  EXPECT_THROW(module.config().connectInNormalMode(), boost::bad_function_call);
  ASSERT_TRUE(module.init());
  EXPECT_TRUE(GP::Lib::isInitialized());
  EXPECT_TRUE(UIA::Lib::isInitialized());
  EXPECT_FALSE(module.init());

  FirmwareUpdaterConfig& config = module.config();
  EXPECT_FALSE(config.connectInNormalMode());
  EXPECT_FALSE(config.resetIntoUpdateMode());
  EXPECT_FALSE(config.connectInUpdateMode());
  int word = 7;
  EXPECT_FALSE(config.performUpdate(word));
  EXPECT_EQ(word, -1);
  DeviceTexts texts;
  config.getDeviceInfo(texts.info, texts.installed, texts.newest, texts.updateAvailable);
  EXPECT_EQ(texts.newest, "69");
  EXPECT_FALSE(texts.updateAvailable);
  EXPECT_FALSE(config.isUpdateRunning());
  config.createDebugWindow(nullptr);
  config.applicationCloseRequest();

  module.deInit(false);
  EXPECT_THROW(config.isUpdateRunning(), boost::bad_function_call);
  EXPECT_FALSE(UIA::Lib::isInitialized());
  EXPECT_FALSE(GP::Lib::isInitialized());
  EXPECT_TRUE(module.init());
}

}  // namespace
}  // namespace QV
