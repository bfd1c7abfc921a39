// The update engine with other keyboards of one size on the bus, through the
// real libusb: whatever their serial numbers and DFU attributes, one update
// changes the keyboard being updated and no other, and a keyboard that comes
// back from a re-enumeration on another port is followed there only by a
// serial number no other keyboard present has. The road's waits are real, so
// CTest runs the cases in groups side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "FirmwareUpdaterConfig.h"
#include "QV/QDV2/Logging.h"
#include "SimulatedKeyboardFixture.h"
#include "TestableUpgradeLogic.h"

namespace QV {
namespace {

using namespace std::chrono_literals;
using TestSupport::PluggedKeyboard;
using TestSupport::keyboardConfig;

// What the keyboards' reports count that only reads: descriptors, standard
// status and the second image's version. Every other request can change a
// keyboard (its mode, its DFU state, its firmware).
bool onlyReads(const std::string& request) {
  return request == "GET_DESCRIPTOR" || request == "GET_STATUS" || request == "GET_CONFIGURATION" ||
         request == "CUSTOM_VERSION";
}

// The requests in `report` that could have changed the keyboard, by name.
std::vector<std::string> changingRequests(const nlohmann::json& report) {
  std::vector<std::string> seen;
  for (const auto& [request, count] : report["requestCounts"].items()) {
    if (!onlyReads(request) && count != 0) {
      seen.push_back(request + " x" + count.dump());
    }
  }
  return seen;
}

// The USB layer's trace lines that go to the system log, kept for the test.
class SystemLog {
 public:
  SystemLog() {
    QDV2::Logging::detail::setSystemLogSink([this](int, const char* text) {
      std::lock_guard lock(m_mutex);
      m_text += text;
    });
  }
  ~SystemLog() { QDV2::Logging::detail::setSystemLogSink({}); }
  std::string text() const {
    std::lock_guard lock(m_mutex);
    return m_text;
  }

 private:
  mutable std::mutex m_mutex;
  std::string m_text;
};

enum class Serials { None, Same, Different };

struct Pair {
  Serials serials;
  bool manifestationTolerant;
  bool willDetach;
};

std::string nameOf(const Pair& p) {
  const char* serials = p.serials == Serials::None ? "noSerial" : p.serials == Serials::Same ? "sameSerial"
                                                                                             : "otherSerial";
  return std::string(serials) + (p.manifestationTolerant ? "_tolerant" : "_reenumerating") +
         (p.willDetach ? "_willDetach" : "_vendorReset");
}

void PrintTo(const Pair& pair, std::ostream* out) { *out << nameOf(pair); }

class TwoKeyboards : public TestSupport::SimulatedKeyboardTest, public testing::WithParamInterface<Pair> {
 protected:
  // A keyboard of 49 keys with the serial number the pairing gives it.
  static simkbd::KeyboardConfig config(const char* serial, bool startInUpdateMode = false) {
    const Pair& pair = GetParam();
    simkbd::KeyboardConfig config = keyboardConfig(49, serial, startInUpdateMode);
    if (pair.serials == Serials::None) config.serial.clear();
    if (pair.serials == Serials::Same) config.serial = "SIMKBD0700";
    config.manifestationTolerant = pair.manifestationTolerant;
    config.willDetach = pair.willDetach;
    return config;
  }

  static void expectUntouched(const PluggedKeyboard& keyboard, const char* which) {
    SCOPED_TRACE(which);
    const nlohmann::json report = keyboard.report();
    EXPECT_TRUE(changingRequests(report).empty()) << testing::PrintToString(changingRequests(report));
    EXPECT_EQ(report["enumerations"], 1);
    EXPECT_EQ(report["mainVersion"], 68);
    EXPECT_EQ(report["secondVersion"], 12);
  }
};

// Scans report the newest device first. The keyboard being updated is the
// newest when it comes back from each re-enumeration, unless another keyboard
// arrived after it: so a keyboard of the same size stands beside it from the
// start, and another arrives in update mode while it is away being switched
// into update mode, when the scan that looks for it comes.
TEST_P(TwoKeyboards, OneUpdateChangesTheKeyboardBeingUpdatedAndNoOther) {
  std::unique_ptr<PluggedKeyboard> keyboards[2] = {TestSupport::plugOrFail(config("SIMKBD0701")),
                                                   TestSupport::plugOrFail(config("SIMKBD0702"))};
  ASSERT_TRUE(keyboards[0] && keyboards[1]);

  TestableUpgradeLogic logic;
  ASSERT_TRUE(logic.connectInNormalMode());
  // The scan keeps whichever keyboard it reported last; that one is updated.
  const int target = logic.device().osHandle() == keyboards[0]->handle() ? 0 : 1;
  ASSERT_EQ(logic.device().osHandle(), keyboards[target]->handle());
  const PluggedKeyboard& updated = *keyboards[target];
  const PluggedKeyboard& bystander = *keyboards[1 - target];
  QDV2::USBDeviceInfo info;
  std::string installed, newest;
  bool updateAvailable = false;
  logic.getDeviceInfo(info, installed, newest, updateAvailable);
  ASSERT_TRUE(updateAvailable);
  ASSERT_EQ(logic.secondImageDue(), true);

  std::unique_ptr<PluggedKeyboard> latecomer;
  std::thread arrival([&] {
    if (TestSupport::waitUntil([&] { return updated.report()["mode"] == "update"; })) {
      latecomer = TestSupport::plugOrFail(config("SIMKBD0703", true));
    }
  });
  const bool inUpdateMode = logic.resetIntoUpdateMode();
  arrival.join();
  ASSERT_TRUE(inUpdateMode);
  ASSERT_TRUE(latecomer);
  int word = -5;
  ASSERT_TRUE(logic.performUpdate(word));
  EXPECT_EQ(waitForResult(word), 1);

  expectUntouched(bystander, "the keyboard beside it");
  expectUntouched(*latecomer, "the keyboard that arrived in update mode");
  ASSERT_TRUE(TestSupport::waitUntil([&] { return updated.report()["mode"] == "normal"; }));
  const nlohmann::json report = updated.report();
  EXPECT_EQ(report["mainVersion"], 69);
  EXPECT_EQ(report["secondVersion"], 13);
  EXPECT_EQ(report["secondImage"]["complete"], true);
  EXPECT_EQ(report["secondImage"]["size"], 17192);

  // The check after the update reads the keyboard just updated, not the one
  // beside it that a scan reports after it.
  ASSERT_TRUE(logic.connectInNormalMode());
  logic.getDeviceInfo(info, installed, newest, updateAvailable);
  EXPECT_FALSE(updateAvailable);
  EXPECT_EQ(installed, newest);
}

INSTANTIATE_TEST_SUITE_P(Pairs, TwoKeyboards,
                         testing::Values(Pair{Serials::None, false, true}, Pair{Serials::None, false, false},
                                         Pair{Serials::None, true, true}, Pair{Serials::None, true, false},
                                         Pair{Serials::Same, false, true}, Pair{Serials::Same, false, false},
                                         Pair{Serials::Same, true, true}, Pair{Serials::Same, true, false},
                                         Pair{Serials::Different, false, true},
                                         Pair{Serials::Different, false, false},
                                         Pair{Serials::Different, true, true},
                                         Pair{Serials::Different, true, false}),
                         [](const testing::TestParamInfo<Pair>& info) { return nameOf(info.param); });

// Waits until `keyboard`, back late in update mode, is listed again, and finds
// it as RETRY does.
bool foundWhenBack(TestableUpgradeLogic& logic, PluggedKeyboard& keyboard) {
  return TestSupport::waitUntil([&] { return keyboard.report()["onBus"] == true; }, 10s) &&
         keyboard.waitUntilListed() != 0 && logic.connectInUpdateMode();
}

// The keyboard shown to the user is the only one the engine changes until the
// user asks for a new scan. When it comes back from the reset late, or on
// another port where its serial number no longer tells it apart, or not at
// all while another keyboard is plugged into its port, the steps that look
// for it again (in update mode, in normal mode as the wizard's fallback and
// RETRY do, and before the writing) take no other keyboard in its stead, up
// to date or not, of its size or another. On another port with a serial
// number of its own it is followed and updated.
enum class Back { Late, Elsewhere, NotAtAll };

struct Bystander {
  const char* name;
  Back back;        // late: after 6 s; elsewhere: at once on another port; not at all
  Serials serials;  // the bystander's serial number beside the shown keyboard's
  unsigned size;
  std::uint16_t mainVersion, secondVersion;
  bool updated;  // the shown keyboard is found again and updated
};

void PrintTo(const Bystander& row, std::ostream* out) { *out << row.name; }

class ChosenKeyboard : public TestSupport::SimulatedKeyboardTest, public testing::WithParamInterface<Bystander> {};

TEST_P(ChosenKeyboard, IsTheOnlyKeyboardChangedUntilTheUserRescans) {
  const Bystander& row = GetParam();
  simkbd::KeyboardConfig shownConfig = keyboardConfig(49, row.serials == Serials::None ? "" : "SIMKBD0901");
  if (row.back == Back::Late) shownConfig.reenumerateDelayMs = 6000;
  if (row.back == Back::Elsewhere) shownConfig.reenumeratePort = 102;
  shownConfig.noReenumerate = row.back == Back::NotAtAll;
  const std::string otherSerial = row.serials == Serials::Different ? "SIMKBD0902" : shownConfig.serial;
  simkbd::KeyboardConfig otherConfig = keyboardConfig(row.size, otherSerial);
  otherConfig.mainVersion = row.mainVersion;
  otherConfig.secondVersion = row.secondVersion;
  // A keyboard plugged into the port the shown one left, in update mode:
  // taken for the shown one, it would be written at once.
  otherConfig.startInUpdateMode = row.back == Back::NotAtAll;
  // Chosen alone after RESCAN, a keyboard that bore the shown one's serial
  // number is followed by it, to another port too.
  if (row.serials == Serials::Same) otherConfig.reenumeratePort = 105;
  auto shown = TestSupport::plugOrFail(shownConfig);
  ASSERT_TRUE(shown);
  TestableUpgradeLogic logic;
  ASSERT_TRUE(logic.connectInNormalMode());
  ASSERT_EQ(logic.device().deviceInfo().serialNumber, shownConfig.serial);
  std::unique_ptr<PluggedKeyboard> bystander;
  if (row.back != Back::NotAtAll) {
    bystander = TestSupport::plugOrFail(otherConfig);
    ASSERT_TRUE(bystander);
  }

  int word = -5;
  if (row.back == Back::Elsewhere && row.updated) {
    ASSERT_TRUE(logic.resetIntoUpdateMode());
  } else {
    EXPECT_FALSE(logic.resetIntoUpdateMode());
    if (row.back == Back::NotAtAll) {
      otherConfig.port = logic.device().location().portNumbers[0];
      bystander = TestSupport::plugOrFail(otherConfig);
      ASSERT_TRUE(bystander);
    }
    EXPECT_FALSE(logic.connectInUpdateMode());
    EXPECT_FALSE(logic.connectInNormalMode()) << "another keyboard taken in the shown one's stead";
    EXPECT_FALSE(logic.resetIntoUpdateMode());
    EXPECT_FALSE(logic.performUpdate(word));
    EXPECT_EQ(word, -1);
  }
  if (row.back == Back::Late) {
    // Back within the wizard's waits, the keyboard shown is updated.
    ASSERT_TRUE(foundWhenBack(logic, *shown));
  }
  if (row.updated) {
    ASSERT_TRUE(logic.performUpdate(word));
    EXPECT_EQ(waitForResult(word), 1);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return logic.connectInNormalMode(); }, 10s));
    EXPECT_EQ(logic.device().deviceInfo().serialNumber, "SIMKBD0901");
    EXPECT_EQ(shown->report()["mainVersion"], 69);
  } else {
    EXPECT_EQ(shown->report()["mode"], row.back == Back::NotAtAll ? "normal" : "update");
    EXPECT_EQ(changingRequests(shown->report()), (std::vector<std::string>{"DETACH x1"}));
  }
  {
    SCOPED_TRACE("the bystander");
    const nlohmann::json report = bystander->report();
    EXPECT_TRUE(changingRequests(report).empty()) << testing::PrintToString(changingRequests(report));
    EXPECT_EQ(report["mainVersion"], row.mainVersion);
    EXPECT_EQ(report["mode"], otherConfig.startInUpdateMode ? "update" : "normal");
  }

  // A new scan asked for by the user may choose another keyboard.
  logic.forgetKeyboard();
  ASSERT_TRUE(shown->unplug());
  ASSERT_TRUE(logic.connectInNormalMode());
  EXPECT_EQ(logic.device().deviceInfo().serialNumber, otherConfig.serial);
  if (otherConfig.reenumeratePort) {
    // A namesake seen before the new choice is no reason to follow the
    // keyboard chosen now by its place alone.
    EXPECT_TRUE(logic.resetIntoUpdateMode());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bystanders, ChosenKeyboard,
    testing::Values(Bystander{"late_beside49", Back::Late, Serials::Different, 49, 68, 12, true},
                    Bystander{"late_beside49UpToDate", Back::Late, Serials::Different, 49, 69, 13, true},
                    Bystander{"elsewhere_beside49", Back::Elsewhere, Serials::Different, 49, 68, 12, true},
                    Bystander{"elsewhere_beside49UpToDate", Back::Elsewhere, Serials::Different, 49, 69, 13, true},
                    Bystander{"elsewhere_beside61UpToDate", Back::Elsewhere, Serials::Different, 61, 69, 13, true},
                    Bystander{"elsewhere_beside49SameSerial", Back::Elsewhere, Serials::Same, 49, 68, 12, false},
                    Bystander{"elsewhere_beside49NoSerial", Back::Elsewhere, Serials::None, 49, 68, 12, false},
                    Bystander{"replaced_byAnother49", Back::NotAtAll, Serials::Different, 49, 68, 12, false}),
    [](const testing::TestParamInfo<Bystander>& info) { return info.param.name; });

// While the keyboard shown is off the bus (switching modes, back late, never
// back), a keyboard of its size bearing its serial number may be the only one
// so named on the bus. Once a scan has shown the two together, that namesake
// is never taken for the keyboard shown, due, up to date or in update mode,
// whether it stood beside it when the keyboard was chosen or arrived later;
// and success is said only of the keyboard shown, at 69 in normal mode.
enum class Away { NeverBack, BackLate, BackLateAfterUpdate };

struct Namesake {
  const char* name;
  Away away;
  // The keyboard shown starts in update mode, and is chosen before the
  // namesake beside it; otherwise the namesake arrives after the choice.
  bool shownInUpdateMode;
  bool inUpdateMode;
  std::uint16_t mainVersion, secondVersion;
  // The namesake arrives only once the keyboard shown has left for update
  // mode, so that the search in update mode that finds it back is the first
  // to see the two together.
  bool arrivesWhileAway = false;
};

void PrintTo(const Namesake& row, std::ostream* out) { *out << row.name; }

class ShownKeyboardAway : public TestSupport::SimulatedKeyboardTest, public testing::WithParamInterface<Namesake> {};

TEST_P(ShownKeyboardAway, ANamesakeIsNeverTakenForIt) {
  const Namesake& row = GetParam();
  simkbd::KeyboardConfig shownConfig = keyboardConfig(49, "SIMKBD0951", row.shownInUpdateMode);
  shownConfig.noReenumerate = row.away == Away::NeverBack;
  if (row.away == Away::BackLate) shownConfig.reenumerateDelayMs = 6000;
  if (row.away == Away::BackLateAfterUpdate) {
    // Back after the wizard's first look, at a main firmware that is not the
    // newest: the namesake's versions must not stand in for its own.
    shownConfig.reenumerateDelayMs = 7000;
    shownConfig.newMainVersion = 68;
  }
  simkbd::KeyboardConfig namesakeConfig = keyboardConfig(49, shownConfig.serial, row.inUpdateMode);
  namesakeConfig.mainVersion = row.mainVersion;
  namesakeConfig.secondVersion = row.secondVersion;
  std::unique_ptr<PluggedKeyboard> shown = TestSupport::plugOrFail(shownConfig);
  std::unique_ptr<PluggedKeyboard> namesake;
  if (row.shownInUpdateMode) {
    namesake = TestSupport::plugOrFail(namesakeConfig);
  }
  ASSERT_TRUE(shown);
  TestableUpgradeLogic logic;
  ASSERT_TRUE(logic.connectInNormalMode());
  ASSERT_EQ(logic.device().osHandle(), shown->handle());
  if (!namesake && !row.arrivesWhileAway) {
    namesake = TestSupport::plugOrFail(namesakeConfig);
    ASSERT_TRUE(namesake);
  }
  QDV2::USBDeviceInfo info;
  std::string installed, newest;
  bool updateAvailable = false;
  logic.getDeviceInfo(info, installed, newest, updateAvailable);
  ASSERT_TRUE(updateAvailable);

  int word = -5;
  if (row.away != Away::BackLateAfterUpdate) {
    EXPECT_FALSE(logic.resetIntoUpdateMode());
    if (row.arrivesWhileAway) {
      namesake = TestSupport::plugOrFail(namesakeConfig);
      ASSERT_TRUE(namesake);
    }
    // As the wizard's ask-update-mode page and RETRY look for it. A
    // namesake never seen beside the keyboard cannot be told from it, so
    // the search in normal mode is left out then.
    EXPECT_FALSE(logic.connectInUpdateMode());
    if (!row.arrivesWhileAway) {
      EXPECT_FALSE(logic.connectInNormalMode()) << "the namesake taken for the keyboard shown";
    }
    EXPECT_FALSE(logic.performUpdate(word));
    EXPECT_EQ(word, -1);
  }
  if (row.away == Away::BackLate) {
    ASSERT_TRUE(foundWhenBack(logic, *shown));
  }
  bool succeeded = false;
  if (row.away != Away::NeverBack) {
    ASSERT_TRUE(logic.performUpdate(word));
    EXPECT_EQ(waitForResult(word), 1);
    // The wizard's first look after the update, 5 s after the keyboard left
    // update mode, finds it still away; then it is looked for until it is back.
    EXPECT_FALSE(logic.connectInNormalMode()) << "the namesake taken for the keyboard shown";
    ASSERT_TRUE(TestSupport::waitUntil([&] { return logic.connectInNormalMode(); }, 10s));
    logic.getDeviceInfo(info, installed, newest, updateAvailable);
    succeeded = FirmwareUpdaterConfig::runsNewestFirmware(info, updateAvailable);
  }
  const nlohmann::json shownReport = shown->report();
  EXPECT_EQ(succeeded, shownReport["mode"] == "normal" && shownReport["mainVersion"] == 69);
  EXPECT_EQ(succeeded, row.away == Away::BackLate);
  {
    SCOPED_TRACE("the namesake");
    const nlohmann::json report = namesake->report();
    EXPECT_TRUE(changingRequests(report).empty()) << testing::PrintToString(changingRequests(report));
    EXPECT_EQ(report["mainVersion"], row.mainVersion);
    EXPECT_EQ(report["secondVersion"], row.secondVersion);
    EXPECT_EQ(report["mode"], row.inUpdateMode ? "update" : "normal");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Namesakes, ShownKeyboardAway,
    testing::Values(Namesake{"neverBack_besideDue", Away::NeverBack, false, false, 68, 12},
                    Namesake{"neverBack_besideUpToDate", Away::NeverBack, false, false, 69, 13},
                    Namesake{"neverBack_besideOneInUpdateMode", Away::NeverBack, false, true, 68, 12},
                    Namesake{"late_besideUpToDate", Away::BackLate, false, false, 69, 13},
                    Namesake{"late_arrivedWhileAway", Away::BackLate, false, false, 68, 12, true},
                    Namesake{"lateAfterUpdate_besideDue", Away::BackLateAfterUpdate, true, false, 68, 12},
                    Namesake{"lateAfterUpdate_besideUpToDate", Away::BackLateAfterUpdate, true, false, 69, 13}),
    [](const testing::TestParamInfo<Namesake>& info) { return info.param.name; });

// A start and a RESCAN choose, after a keyboard in update mode, one that
// needs the update by its main firmware or its second image before one up to
// date, in whatever order they were plugged in, and only read the others.
class KeyboardsPresent : public TestSupport::SimulatedKeyboardTest {};

TEST_F(KeyboardsPresent, TheOneThatNeedsTheUpdateIsChosen) {
  struct Present {
    unsigned size;
    const char* serial;
    std::uint16_t mainVersion, secondVersion;
  };
  const std::vector<Present> rows[] = {  // the first needs the update
      {{49, "SIMKBD1002", 68, 12}, {49, "SIMKBD1001", 69, 13}},
      {{61, "SIMKBD1012", 69, 12}, {49, "SIMKBD1011", 69, 13}, {25, "SIMKBD1013", 70, 12}},
      {{25, "SIMKBD1022", 68, 12}, {49, "SIMKBD1021", 69, 13}, {88, "SIMKBD1023", 69, 14}},
  };
  for (std::vector<Present> row : rows) {
    const std::string due = row.front().serial;
    for (const bool reversed : {false, true}) {
      SCOPED_TRACE(due + (reversed ? " plugged in last" : " plugged in first"));
      if (reversed) std::reverse(row.begin(), row.end());
      std::vector<std::unique_ptr<PluggedKeyboard>> plugged;
      for (const Present& present : row) {
        simkbd::KeyboardConfig config = keyboardConfig(present.size, present.serial);
        config.mainVersion = present.mainVersion;
        config.secondVersion = present.secondVersion;
        plugged.push_back(TestSupport::plugOrFail(config));
        ASSERT_TRUE(plugged.back());
      }
      TestableUpgradeLogic logic;
      for (const char* action : {"start", "RESCAN"}) {
        SCOPED_TRACE(action);
        logic.forgetKeyboard();
        ASSERT_TRUE(logic.connectInNormalMode());
        EXPECT_EQ(logic.device().deviceInfo().serialNumber, due);
      }
      for (const auto& keyboard : plugged) {
        EXPECT_TRUE(changingRequests(keyboard->report()).empty()) << keyboard->description();
      }
    }
  }
}

class KeyboardElsewhere : public TestSupport::SimulatedKeyboardTest {};

// Restarted into its new application after its main image, the keyboard comes
// back on another port. The rescans of the download follow it there when no
// other keyboard present has its serial number, and then write its second
// image; beside one with the same serial number it cannot be told apart, and
// nothing more is written to either.
TEST_F(KeyboardElsewhere, IsFollowedAfterItsMainImageOnlyByASerialNumberOfItsOwn) {
  SystemLog log;
  for (const bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "beside a keyboard with its serial number" : "alone");
    simkbd::KeyboardConfig config = keyboardConfig(25, shared ? "SIMKBD0803" : "SIMKBD0802", true);
    config.manifestationTolerant = false;
    config.reenumeratePort = shared ? 104 : 103;
    auto keyboard = TestSupport::plugOrFail(config);
    ASSERT_TRUE(keyboard);
    TestableUpgradeLogic logic;
    ASSERT_TRUE(logic.connectInNormalMode());
    std::unique_ptr<PluggedKeyboard> twin;
    if (shared) {
      twin = TestSupport::plugOrFail(keyboardConfig(25, config.serial));
      ASSERT_TRUE(twin);
    }
    const std::string left = logic.device().location().text();
    // Found in update mode: the worker reads the second image's version once
    // the keyboard has its main image.
    ASSERT_EQ(logic.secondImageDue(), std::nullopt);
    int word = -5;
    ASSERT_TRUE(logic.performUpdate(word));
    EXPECT_EQ(waitForResult(word), shared ? -2 : 1);
    const nlohmann::json report = keyboard->report();
    EXPECT_EQ(report["mainImage"]["complete"], true);
    EXPECT_EQ(report["secondImage"]["complete"], !shared);
    EXPECT_EQ(report["enumerations"], shared ? 2 : 4);
    if (shared) {
      for (const char* request : {"CUSTOM_WRITE", "RESET_INTO_UPDATE", "ABORT", "DETACH", "RESET_FROM_UPDATE"}) {
        EXPECT_EQ(report["requestCounts"][request], 0) << request;
      }
      EXPECT_NE(log.text().find("DFUDevice: the device found at 1-104 is not told apart from another keyboard; the "
                                "keyboard that left " + left + " is not followed and the device is left alone\n"),
                std::string::npos)
          << log.text();
      EXPECT_TRUE(changingRequests(twin->report()).empty()) << testing::PrintToString(changingRequests(twin->report()));
    }
  }
}

}  // namespace
}  // namespace QV
