// The updater's window end to end: the application runs as the child of
// simulated-keyboard on a virtual display of its own, is driven with xdotool
// like a user would, and tells each page it shows through its trace lines
// (QV_WIZARD_TRACE). The keyboard's report says what it received. Every page
// passed is kept as a screenshot and compared with its reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FirmwareImages.h"
#include "FirmwareRow.h"
#include "GuiSession.h"
#include "Sha256.h"
#include "UpdateWizardMainWidget.h"
#include "WizardLook.h"
// Last: Xlib's macros (None, Bool...) stay out of the headers above.
#include "X11/X11ServerTime.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using QV::TestSupport::GuiSession;
namespace Look = QV::WizardLook;

// A whole road with one retry under the sanitizers stays far below these;
// only a hang reaches them.
constexpr auto kStartLimit = 60s;
constexpr auto kPageLimit = 90s;
// A quit during an update ends within about three seconds of the Yes whatever
// the keyboard does; this leaves a margin for the sanitizers under load, and
// stays well below a quit that waits out the keyboard.
constexpr auto kQuitLimit = 4500ms;

constexpr const char* kWindowName = "ORVEL TARSIN VANTA FIRMWARE UPDATER";

// Places in the window's content, from the look table the window is made of.
struct Place {
  int x, y;
};
constexpr int kContentWidth = QV::UpdateWizardMainWidget::kWidth;
constexpr int kContentHeight = QV::UpdateWizardMainWidget::kHeight;
constexpr int kButtonRowY = kContentHeight - Look::kButtonPanelHeight / 2;
constexpr Place kQuitButton{kContentWidth - Look::kMargin - Look::kButtonWidth / 2, kButtonRowY};
constexpr Place kActionButton{kQuitButton.x - Look::kButtonWidth - Look::kButtonGap, kButtonRowY};
constexpr int kMenuBarHeight = 22;
// Where the in-window menu bar shows its menus' titles, and where the first
// two items of a menu lie in its window.
constexpr int kApplicationMenuX = 90;
constexpr int kHelpMenuX = 187;
constexpr int kFirstItemY = 10;
constexpr int kSecondItemY = 30;
constexpr Place kAboutButton{kQuitButton.x, Look::kTitleHeight / 2};
// The close box at the right end of the title bar that GNUstep draws, 24 px
// high, above the menu bar.
constexpr int kTitleBarHeight = 24;
constexpr Place kCloseBox{kContentWidth - kTitleBarHeight / 2, -kMenuBarHeight - kTitleBarHeight / 2};
// Where the window appears on the 800 x 600 screen without a window manager,
// and its height: the content under GNUstep's title bar and menu bar.
constexpr Place kWindowOnScreen{100, 100};
constexpr int kWindowHeight = kContentHeight + kMenuBarHeight + kTitleBarHeight;
constexpr Place kAboutCloseButton{kContentWidth / 2, (kContentHeight + Look::kAboutHeight) / 2 - 24 - Look::kButtonHeight / 2};

class UpdaterWindow : public testing::Test {
 protected:
  // `daemons`: GNUstep's notification daemon runs before the application
  // starts, as on a desktop that has run GNUstep programs before.
  static GuiSession::Options options(bool daemons = true) {
    GuiSession::Options result;
    result.defaults = {{"NSMenuInterfaceStyle", "NSWindows95InterfaceStyle"}};
    result.notificationCenter = daemons;
    return result;
  }

  UpdaterWindow() = default;
  explicit UpdaterWindow(bool daemons) : m_session(options(daemons)) {}

  void SetUp() override {
    ASSERT_TRUE(m_session.ready()) << m_session.problem();
    m_group = testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  void TearDown() override {
    if (m_app && HasFailure()) {
      m_app->stop(5s);
      std::cerr << "application output:\n" << m_app->output();
      std::ifstream in(report());
      std::cerr << "keyboard report:\n" << std::string(std::istreambuf_iterator<char>(in), {}) << '\n';
    }
  }

  // simulated-keyboard KEYBOARD... --report FILE -- the application, with
  // a stand-in for xdg-open first on PATH that notes the addresses it is
  // given in the session's folder.
  // With `runs` 2 the application is started a second time when the first
  // ends, on the same keyboard.
  void start(const std::vector<std::string>& keyboard, bool servicesMadeBefore = true, int runs = 1) {
    const fs::path bin = m_session.folder() / "bin";
    fs::create_directories(bin);
    {
      std::ofstream fake(bin / "xdg-open");
      fake << "#!/bin/sh\necho \"$*\" >> '" << opened().string() << "'\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    // GNUstep builds its list of services in a child process when the
    // application menu's Services menu finds none; a desktop session has the
    // list already, and so has the test unless it leaves it to the
    // application.
    if (servicesMadeBefore) {
      auto services = m_session.start({"make_services"}, {}, m_session.folder() / "services.log");
      ASSERT_TRUE(services->waitForExit(kStartLimit).has_value()) << "make_services did not end";
    }
    std::vector<std::string> words = {SIMULATED_KEYBOARD};
    words.insert(words.end(), keyboard.begin(), keyboard.end());
    words.insert(words.end(), {"--report", report().string(), "--"});
    if (runs == 2) {
      words.insert(words.end(), {"sh", "-c", "\"$0\"; exec \"$0\"", UPDATER_APP});
    } else {
      words.push_back(UPDATER_APP);
    }
    const std::string path = bin.string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    m_started = std::chrono::steady_clock::now();
    m_app = m_session.start(words, {{"QV_WIZARD_TRACE", "1"}, {"PATH", path}}, m_session.folder() / "app.log");
    m_window = m_session.waitForWindow(kWindowName, kStartLimit);
    ASSERT_FALSE(m_window.empty()) << "no window appeared:\n" << m_app->output();
  }

  fs::path report() const { return m_session.folder() / "report.json"; }
  fs::path opened() const { return m_session.folder() / "xdg-open.log"; }

  std::string openedAddresses() const {
    std::ifstream in(opened());
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Opens the in-window menu bar's menu whose title lies at `x` of the bar
  // and clicks its item at `itemY` of the menu's own window.
  void chooseFromMenu(int x, int itemY) {
    // The menu bar lies under GNUstep's title bar, above the content.
    const auto geometry = m_session.xdotool({"getwindowgeometry", m_window});
    ASSERT_TRUE(geometry.has_value());
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(geometry->c_str() + geometry->find("Geometry: "), "Geometry: %dx%d", &width, &height), 2);
    const int barY = height - kContentHeight - kMenuBarHeight / 2;
    ASSERT_TRUE(m_session.xdotool({"mousemove", "--window", m_window, std::to_string(x), std::to_string(barY),
                                   "sleep", "0.3", "click", "1"}));
    const std::string menu = m_session.waitForWindow("^Window$", 20s);
    ASSERT_FALSE(menu.empty()) << "the menu did not open";
    ASSERT_TRUE(m_session.xdotool({"mousemove", "--window", menu, "60", std::to_string(itemY), "sleep", "0.3",
                                   "click", "1"}));
  }

  // The pages shown so far, in order ("updating writing", "done"...).
  std::vector<std::string> pages() const {
    std::vector<std::string> result;
    std::istringstream lines(m_app->output());
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("wizard: ", 0) == 0) result.push_back(line.substr(8));
    }
    return result;
  }

  // How long after start() the first page was shown, once it is `page`; a
  // failure when it is another or none comes.
  std::chrono::milliseconds firstPageTime(const std::string& page) {
    EXPECT_TRUE(QV::TestSupport::waitUntil([&] { return !pages().empty(); }, kPageLimit)) << "no page";
    const auto shown = std::chrono::steady_clock::now();
    EXPECT_EQ(pages().front(), page);
    return std::chrono::duration_cast<std::chrono::milliseconds>(shown - m_started);
  }

  // Waits until the page is the latest one shown, or gives up at the limit.
  bool waitForPage(const std::string& page, std::chrono::seconds limit = kPageLimit) {
    return QV::TestSupport::waitUntil(
        [&] {
          const std::vector<std::string> shown = pages();
          return !shown.empty() && shown.back() == page;
        },
        limit);
  }

  // A place of the window's content in the X window. The content lies at
  // the bottom of the X window, under the title bar and the menu bar that
  // GNUstep draws itself.
  void inWindow(Place place, Place& at) {
    const auto geometry = m_session.xdotool({"getwindowgeometry", m_window});
    ASSERT_TRUE(geometry.has_value());
    const std::size_t found = geometry->find("Geometry: ");
    ASSERT_NE(found, std::string::npos) << *geometry;
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(geometry->c_str() + found, "Geometry: %dx%d", &width, &height), 2) << *geometry;
    at = {place.x, height - kContentHeight + place.y};
  }

  // How a click is made: by hand, the release a tenth of a second after the
  // press; as a touchpad's tap-to-click, the release at once; or sent to the
  // window by another program (xdotool's --window), the release at once and
  // both stamped 0.
  enum class Press { kHand, kTap, kSent };

  // Moves the pointer onto a place of the window's content and clicks there.
  void click(Place place, Press press = Press::kHand) {
    Place at;
    ASSERT_NO_FATAL_FAILURE(inWindow(place, at));
    std::vector<std::string> words = {"mousemove", "--window", m_window, std::to_string(at.x), std::to_string(at.y),
                                      "sleep", "0.2"};
    switch (press) {
      case Press::kHand:
        words.insert(words.end(), {"mousedown", "1", "sleep", "0.1", "mouseup", "1"});
        break;
      case Press::kTap:
        words.insert(words.end(), {"click", "1"});
        break;
      case Press::kSent:
        words.insert(words.end(), {"click", "--window", m_window, "1"});
        break;
    }
    ASSERT_TRUE(m_session.xdotool(words));
  }

  // A press and its release at a place of the window's content, sent to the
  // window by this test as a program of its own would, stamped `made` on the
  // server's clock.
  void sendClickStamped(Place place, Time made) {
    Place at;
    ASSERT_NO_FATAL_FAILURE(inWindow(place, at));
    Display* display = XOpenDisplay(m_session.display().c_str());
    ASSERT_NE(display, nullptr);
    const Window window = std::stoul(m_window);
    XEvent event{};
    XButtonEvent& button = event.xbutton;
    button.type = ButtonPress;
    button.display = display;
    button.window = window;
    button.root = DefaultRootWindow(display);
    button.time = made;
    button.x = at.x;
    button.y = at.y;
    Window child = None;
    XTranslateCoordinates(display, window, button.root, at.x, at.y, &button.x_root, &button.y_root, &child);
    button.button = Button1;
    button.same_screen = True;
    const bool pressed = XSendEvent(display, window, True, ButtonPressMask, &event) != 0;
    button.type = ButtonRelease;
    button.state = Button1Mask;
    const bool released = XSendEvent(display, window, True, ButtonReleaseMask, &event) != 0;
    XCloseDisplay(display);
    ASSERT_TRUE(pressed && released);
  }

  // The X server's clock now.
  Time serverTime() {
    Display* display = XOpenDisplay(m_session.display().c_str());
    if (display == nullptr) return CurrentTime;
    const Time now = QV::UIA::DETAIL::X11::serverTime(display, QV::UIA::DETAIL::X11::makeWindow(display), 5s);
    XCloseDisplay(display);
    return now;
  }

  // Keeps the screen as a screenshot of the test and compares the window's
  // part of it (where the platform centres the window on the 800 x 600
  // screen) with the reference of that name, where one exists: within a few
  // thousand pixels (the turning wheel, text anti-aliasing).
  void shoot(const std::string& name) {
    // The window repaints on the tick after a change.
    std::this_thread::sleep_for(300ms);
    const fs::path shot = QV::TestSupport::screenshotFile(m_group, name);
    ASSERT_TRUE(m_session.screenshot(shot));
    const fs::path reference = fs::path(REFERENCES) / (name + ".png");
    if (!fs::exists(reference)) return;
    const long differing = differingPixels(shot.string() + "[642x486+100+100]", reference.string());
    EXPECT_LT(differing, 2500) << name << " differs from its reference in " << differing << " pixels: " << shot;
  }

  // The firmware panel's column of labels (newest, installed, serial number)
  // in the screenshot `name` beside the same place of its reference, held to
  // a few pixels: the whole window's allowance would not notice another
  // serial number.
  void expectLabelsAsInReference(const std::string& name) {
    // Places in the 642 x 486 window that shoot() cuts from the screen.
    constexpr int kLeft = (642 - kContentWidth) / 2 + Look::kMargin;
    constexpr int kTop = 486 - kContentHeight + Look::kTitleHeight;
    const std::string column = std::to_string(Look::kColumnWidth) + "x" + std::to_string(Look::kFirmwareHeight);
    const auto at = [&](int x, int y) {
      return "[" + column + "+" + std::to_string(x) + "+" + std::to_string(y) + "]";
    };
    const fs::path shot = QV::TestSupport::screenshotFile(m_group, name);
    const fs::path reference = fs::path(REFERENCES) / (name + ".png");
    const long differing =
        differingPixels(shot.string() + at(100 + kLeft, 100 + kTop), reference.string() + at(kLeft, kTop));
    EXPECT_LT(differing, 40) << name << ": the labels differ from the reference in " << differing
                             << " pixels: " << shot;
  }

  // How many pixels of two pictures (or parts of them, "file[WxH+X+Y]")
  // differ beyond a little anti-aliasing; a failure, and a large count, when
  // they cannot be compared.
  long differingPixels(const std::string& picture, const std::string& reference) {
    const QV::TestSupport::CommandOutcome compared =
        QV::TestSupport::runCommand({"compare", "-metric", "AE", "-fuzz", "8%", picture, reference, "null:"},
                                    m_session.folder() / "compare.log", 30s);
    // compare answers 0 for alike, 1 for different and 2 when it could not compare.
    if (compared.exitCode != 0 && compared.exitCode != 1) {
      ADD_FAILURE() << "could not compare " << picture << " with " << reference << ": " << compared.output;
      return std::numeric_limits<long>::max();
    }
    return std::atol(compared.output.c_str());
  }

  nlohmann::json keyboardReport() {
    if (m_app) m_app->waitForExit(30s);
    std::ifstream in(report());
    return nlohmann::json::parse(in, nullptr, false);
  }

  // Ends the application through its QUIT button, which ends the keyboard.
  void quit() {
    click(kQuitButton);
    expectEndWithin(30s, "QUIT");
  }

  // The updater ends, with code 0, within `limit` of what `after` names.
  void expectEndWithin(std::chrono::milliseconds limit, const char* after) {
    const auto code = m_app->waitForExit(limit);
    ASSERT_TRUE(code.has_value()) << "the updater still ran " << limit.count() << " ms after " << after;
    EXPECT_EQ(*code, 0) << m_app->output();
  }

  // Alt+Q, the menus' key equivalent of Quit, typed into the window.
  void typeQuitKey() {
    ASSERT_TRUE(m_session.xdotool({"key", "--window", m_window, "alt+q"}));
  }

  // The question asked when quitting during an update, or empty.
  std::string waitForQuestion() { return m_session.waitForWindow("^Information$", 30s); }

  // Quits during the update with Alt+Q, answering Yes to the question.
  void quitDuringTheUpdate() {
    typeQuitKey();
    const std::string question = waitForQuestion();
    ASSERT_FALSE(question.empty()) << "no question";
    answerYes(question);
  }

  void answerYes(const std::string& question) {
    // Yes stands right of No, near the question's bottom-right corner.
    const auto geometry = m_session.xdotool({"getwindowgeometry", question});
    ASSERT_TRUE(geometry.has_value());
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(geometry->c_str() + geometry->find("Geometry: "), "Geometry: %dx%d", &width, &height), 2);
    ASSERT_TRUE(m_session.xdotool({"mousemove", "--window", question, std::to_string(width - 45),
                                   std::to_string(height - 22), "sleep", "0.2", "mousedown", "1", "sleep", "0.1",
                                   "mouseup", "1"}));
  }

  // Starts the update of a keyboard that will not get on with it, quits with
  // Yes and expects the application to end cleanly within the README's few
  // seconds, leaving the keyboard in its loader; `report` is the keyboard's.
  void quitWhileTheKeyboardIsStuck(nlohmann::json& report) {
    ASSERT_TRUE(waitForPage("update-available"));
    click(kActionButton);
    ASSERT_TRUE(waitForPage("updating writing"));
    ASSERT_NO_FATAL_FAILURE(quitDuringTheUpdate());
    const auto answered = std::chrono::steady_clock::now();
    const auto code = m_app->waitForExit(kQuitLimit);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - answered);
    std::cout << "the quit took " << took.count() << " ms after Yes\n";
    ASSERT_TRUE(code.has_value()) << "the application still ran " << kQuitLimit.count() << " ms after Yes";
    EXPECT_EQ(*code, 0) << m_app->output();
    report = keyboardReport();
    EXPECT_EQ(report["mode"], "update");
    EXPECT_EQ(report["onBus"], true);
  }

  // The keyboard beside the one updated, from the report, is as it was:
  // nothing sent to it could have changed it.
  static void expectUntouched(const nlohmann::json& report, int mainVersion, int secondVersion) {
    ASSERT_EQ(report["additionalKeyboards"].size(), 1u);
    const nlohmann::json& bystander = report["additionalKeyboards"][0];
    EXPECT_EQ(bystander["mode"], "normal");
    EXPECT_EQ(bystander["enumerations"], 1);
    EXPECT_EQ(bystander["mainVersion"], mainVersion);
    EXPECT_EQ(bystander["secondVersion"], secondVersion);
    for (const char* request : {"DETACH", "RESET_INTO_UPDATE", "DNLOAD", "CUSTOM_WRITE", "ABORT", "CLRSTATUS"}) {
      EXPECT_EQ(bystander["requestCounts"][request], 0) << request;
    }
  }

  // Clicks RETRY on the asking page until the keyboard is found and the
  // update starts, or until the page limit.
  void retryUntilTheUpdateStarts() {
    const auto deadline = std::chrono::steady_clock::now() + kPageLimit;
    while (pages().back() == "ask-update-mode" && std::chrono::steady_clock::now() < deadline) {
      const std::size_t shown = pages().size();
      click(kActionButton);
      ASSERT_TRUE(QV::TestSupport::waitUntil(
          [&] {
            const std::vector<std::string> now = pages();
            return now.size() >= shown + 2 || (now.size() > shown && now.back() != "updating switching");
          },
          kPageLimit));
    }
  }

  // UPDATE while the keyboard will be away after the reset: the asking page,
  // then RETRY until the keyboard is back and the update ends on done. Until
  // the keyboard is back each RETRY ends on the asking page again.
  void updateThroughTheAskingPage() {
    ASSERT_TRUE(waitForPage("update-available"));
    click(kActionButton);
    ASSERT_TRUE(waitForPage("ask-update-mode"));
    retryUntilTheUpdateStarts();
    expectUpdateRoad();
  }

  static std::string sha256(const std::uint8_t* bytes, std::uint64_t size) {
    return simkbd::Sha256::hex(std::span<const std::uint8_t>(bytes, size));
  }

  static const QV::FW::FirmwareImageEntry& row(unsigned size) { return QV::TestSupport::firmwareRow(size); }

  void expectNewest(const nlohmann::json& report, unsigned size, bool mainWritten = true) {
    ASSERT_TRUE(report.is_object()) << "no report";
    EXPECT_EQ(report["mode"], "normal");
    EXPECT_EQ(report["mainVersion"], 69);
    EXPECT_EQ(report["secondVersion"], size == 88 ? 14 : 13);
    if (mainWritten) {
      EXPECT_EQ(report["mainImage"]["sha256"], sha256(row(size).mainImage, row(size).mainImageSize));
    }
    EXPECT_EQ(report["secondImage"]["sha256"], sha256(row(size).secondImage, row(size).secondImageSize));
  }

  // Switched into update mode and left there, nothing written: its firmware
  // still works once it is started again.
  void expectSwitchedOnly(const nlohmann::json& report) {
    EXPECT_EQ(report["mode"], "update");
    EXPECT_EQ(report["requestCounts"]["DNLOAD"], 0);
    EXPECT_EQ(report["requestCounts"]["ABORT"], 0);
    EXPECT_EQ(report["applicationValid"], true);
  }

  // The pages of one update, from the click on UPDATE or RETRY to done.
  void expectUpdateRoad() {
    ASSERT_TRUE(waitForPage("updating writing")) << "no writing page";
    ASSERT_TRUE(waitForPage("done")) << "no done page";
  }

  // UPDATE on the page offering it, and the pages of an update that goes
  // straight through to done, asking nothing on the way.
  void updateStraightThrough() {
    ASSERT_TRUE(waitForPage("update-available"));
    click(kActionButton);
    expectUpdateRoad();
    EXPECT_EQ(pages(), kStraightThrough);
  }

  static inline const std::vector<std::string> kStraightThrough = {
      "update-available", "updating switching", "updating writing", "updating reconnecting", "done"};

  GuiSession m_session{options()};
  std::unique_ptr<QV::TestSupport::ChildProcess> m_app;
  // When the last start() started the simulated keyboard and the updater.
  std::chrono::steady_clock::time_point m_started;
  std::string m_window;
  std::string m_group;
};

class Sizes : public UpdaterWindow, public testing::WithParamInterface<unsigned> {};

TEST_P(Sizes, UpdateLeadsThroughTheUpdatingPagesToDone) {
  const unsigned size = GetParam();
  start({"--size", std::to_string(size), "--serial", "SER" + std::to_string(size)});
  ASSERT_TRUE(waitForPage("update-available"));
  shoot("update-available-" + std::to_string(size));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  shoot("updating-" + std::to_string(size));
  ASSERT_TRUE(waitForPage("done"));
  shoot("done-" + std::to_string(size));
  EXPECT_EQ(pages(), kStraightThrough);
  // FINISH beside the About overlay finishes, as it looks.
  click(kAboutButton);
  ASSERT_TRUE(waitForPage("about shown", 20s));
  quit();
  expectNewest(keyboardReport(), size);
}

INSTANTIATE_TEST_SUITE_P(Keyboards, Sizes, testing::Values(25u, 49u, 61u, 88u),
                         [](const testing::TestParamInfo<unsigned>& info) {
                           return "keys" + std::to_string(info.param);
                         });

TEST_F(UpdaterWindow, AboutOverlayOpensAndClosesOverAnUpToDateKeyboardAndLeavesQuitInUse) {
  start({"--main-version", "69", "--second-version", "13"});
  ASSERT_TRUE(waitForPage("up-to-date"));
  // Resized from outside, as no window manager keeps it from, smaller and
  // then larger, the window takes its page's size again, and the page is as
  // before.
  for (const char* size : {"400x300", "900x580"}) {
    const std::string width(size, 3), height(size + 4);
    ASSERT_TRUE(m_session.xdotool({"windowsize", m_window, width, height}));
    ASSERT_TRUE(QV::TestSupport::waitUntil(
        [&] {
          return m_session.xdotool({"getwindowgeometry", m_window}).value_or("").find("642x486") != std::string::npos;
        },
        20s))
        << size << ": " << m_session.xdotool({"getwindowgeometry", m_window}).value_or("");
  }
  shoot("up-to-date");
  click(kAboutButton);
  ASSERT_TRUE(waitForPage("about shown", 20s));
  shoot("about");
  // The About box tells the bundle's version, which is the project's.
  std::ifstream plist(fs::path(UPDATER_APP).parent_path() / "Resources" / "Info-gnustep.plist");
  const std::string info(std::istreambuf_iterator<char>(plist), {});
  for (const char* key : {"CFBundleShortVersionString", "CFBundleVersion"}) {
    EXPECT_NE(info.find(std::string("<key>") + key + "</key>\n  <string>" PROJECT_VERSION "</string>"),
              std::string::npos)
        << key << " in\n" << info;
  }
  click(kAboutCloseButton);
  ASSERT_TRUE(waitForPage("about hidden", 20s));
  click(kAboutButton);
  ASSERT_TRUE(waitForPage("about shown", 20s));
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 0);
}

TEST_F(UpdaterWindow, The88KeyKeyboardGetsOnlyItsSecondImage) {
  start({"--size", "88", "--main-version", "69", "--second-version", "13"});
  ASSERT_TRUE(waitForPage("update-available"));
  shoot("second-image-due");
  click(kActionButton);
  expectUpdateRoad();
  quit();
  const nlohmann::json report = keyboardReport();
  expectNewest(report, 88, false);
}

TEST_F(UpdaterWindow, AWriteFailureEndsOnTheFailedPageAndRetryFinishes) {
  start({"--fail-block", "3"});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("failed"));
  shoot("failed");
  click(kActionButton);
  expectUpdateRoad();
  quit();
  expectNewest(keyboardReport(), 49);
}

TEST_F(UpdaterWindow, AnUnplugDuringTheDownloadEndsOnTheFailedPageAndRetryFinishes) {
  start({"--unplug-block", "5"});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("failed"));
  click(kActionButton);
  expectUpdateRoad();
  quit();
  expectNewest(keyboardReport(), 49);
}

TEST_F(UpdaterWindow, AKeyboardThatWillNotEnterUpdateModeShowsTheAskingPage) {
  start({"--no-reenumerate"});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("ask-update-mode"));
  shoot("ask-update-mode");
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 0);
}

TEST_F(UpdaterWindow, AKeyboardBackLateFromTheResetIsFoundByRetry) {
  // Off the bus longer than the window looks for it after the reset (and
  // back at once after the update): the asking page shows, and RETRY finds
  // the keyboard once it is back. The
  // services list is left to the application, which builds it in a child
  // process while the keyboard is on the bus.
  // Beside it stands an up-to-date keyboard, so the update offered is the
  // late one's; while it is away, RETRY never takes the other in its stead.
  start({"--serial", "AAA", "--reenumerate-delay", "10000,200", "--add-keyboard", "49:BBB:69:13"}, false);
  updateThroughTheAskingPage();
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["serial"], "AAA");
  expectNewest(report, 49);
  expectUntouched(report, 69, 13);
}

TEST_F(UpdaterWindow, AKeyboardBackLateFromTheResetWithinSecondsIsUpdatedWithoutRetry) {
  // Back after the switch's own scan, within the seconds the window then
  // looks for it: updated as if the switch had found it.
  start({"--reenumerate-delay", "4000"});
  updateStraightThrough();
  quit();
  const nlohmann::json report = keyboardReport();
  expectNewest(report, 49);
  // Switched once, into update mode and out of it.
  EXPECT_EQ(report["requestCounts"]["DETACH"], 2);
}

TEST_F(UpdaterWindow, RetryWhileTheKeyboardIsAwayNeverTakesANamesake) {
  // Beside it from the start stands a keyboard of its size, due too, with
  // its serial number: the only one so named while the keyboard shown is away
  // after the reset. RETRY takes none but the keyboard shown, once it is back
  // on its port.
  start({"--serial", "AAA", "--reenumerate-delay", "10000,200", "--add-keyboard", "49:AAA"});
  updateThroughTheAskingPage();
  quit();
  const nlohmann::json report = keyboardReport();
  expectNewest(report, 49);
  expectUntouched(report, 68, 12);
}

TEST_F(UpdaterWindow, AKeyboardBackOnAnotherPortIsFollowedByItsSerialNumberAndNoOtherIsTouched) {
  // Back from the reset on another port, beside a keyboard of its size that
  // is due too: no other keyboard has its serial number, so it is found
  // there and updated without a question.
  start({"--serial", "AAA", "--reenumerate-port", "9", "--add-keyboard", "49:BBB"});
  updateStraightThrough();
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["serial"], "AAA");
  expectNewest(report, 49);
  expectUntouched(report, 68, 12);
}

TEST_F(UpdaterWindow, AKeyboardFoundInUpdateModeIsOfferedTheUpdate) {
  // Its loader reports the newest versions, but it runs no firmware.
  start({"--start-in-update-mode", "--main-version", "69", "--second-version", "13"});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  expectUpdateRoad();
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["mode"], "normal");
  EXPECT_EQ(report["applicationValid"], true);
}

// A build with placeholder images says on UPDATE's page why it leaves a real
// keyboard as it is, in either mode, and offers RESCAN.
TEST_F(UpdaterWindow, ARealKeyboardIsLeftAsItIsByABuildWithoutItsFirmware) {
  if (!QV::FW::imagesArePlaceholders()) GTEST_SKIP() << "this build has the maker's images";
  for (const bool updateMode : {false, true}) {
    SCOPED_TRACE(updateMode ? "in update mode" : "in normal mode");
    std::vector<std::string> keyboard = {"--real-manufacturer"};
    if (updateMode) keyboard.push_back("--start-in-update-mode");
    start(keyboard);
    ASSERT_TRUE(waitForPage("update-available"));
    click(kActionButton);
    ASSERT_TRUE(waitForPage("update-available refused"));
    shoot("no-firmware");
    click(kActionButton);
    ASSERT_TRUE(waitForPage("update-available"));
    quit();
    // Reads only: every request the keyboard saw is device to host.
    const nlohmann::json report = keyboardReport();
    for (const nlohmann::json& request : report["requests"]) {
      EXPECT_GE(request["bmRequestType"], 0x80) << request;
    }
  }
}

TEST_F(UpdaterWindow, NoKeyboardShowsTheNoKeyboardPage) {
  start({"--product-id", "0x2000"});
  ASSERT_TRUE(waitForPage("no-device"));
  shoot("no-device");
  click(kActionButton);
  // RESCAN looks again and, finding nothing, shows the same page again.
  ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return pages().size() >= 2; }, kPageLimit));
  EXPECT_EQ(pages(), (std::vector<std::string>{"no-device", "no-device"}));
  quit();
}

TEST_F(UpdaterWindow, RescanFindsAKeyboardPluggedInAfterTheStart) {
  // The simulated keyboard runs the application itself, so its process is
  // the one started, and it plugs the keyboard in on SIGUSR1.
  start({"--plug-in-on-signal", "--serial", "SER49"});
  ASSERT_TRUE(waitForPage("no-device"));
  ASSERT_TRUE(m_app->sendSignal(SIGUSR1));
  ASSERT_TRUE(QV::TestSupport::waitUntil(
      [&] { return m_app->output().find("simulated-keyboard: plugged in") != std::string::npos; }, kPageLimit))
      << "the keyboard was not plugged in";
  click(kActionButton);
  ASSERT_TRUE(waitForPage("update-available"));
  // The reference shows this keyboard's serial number and versions.
  shoot("update-available-49");
  expectLabelsAsInReference("update-available-49");
  EXPECT_EQ(pages(), (std::vector<std::string>{"no-device", "update-available"}));
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["enumerations"], 1);
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 0);
}

TEST_F(UpdaterWindow, QuitDuringTheUpdateAsksAndNoKeepsItRunningToDone) {
  start({});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  click(kQuitButton);  // does nothing while updating
  typeQuitKey();
  const std::string question = waitForQuestion();
  ASSERT_FALSE(question.empty()) << "no question";
  shoot("quit-question");
  // No is the default button.
  ASSERT_TRUE(m_session.xdotool({"key", "--window", question, "Return"}));
  expectUpdateRoad();
  EXPECT_FALSE(m_app->waitForExit(0s).has_value());
  quit();
  expectNewest(keyboardReport(), 49);
}

// The question left open while the update ends behind it closes by itself,
// as a No: the window shows how the update ended, and the next quit asks
// nothing.
TEST_F(UpdaterWindow, QuitDuringTheUpdateAsksAndTheQuestionClosesWhenTheUpdateEnds) {
  start({});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  typeQuitKey();
  ASSERT_FALSE(waitForQuestion().empty()) << "no question";
  ASSERT_TRUE(waitForPage("done"));
  ASSERT_TRUE(QV::TestSupport::waitUntil(
      [&] { return !m_session.xdotool({"search", "--onlyvisible", "--name", "^Information$"}).has_value(); }, 20s))
      << "the question stays open over the done page";
  shoot("done-after-question");
  typeQuitKey();
  ASSERT_NO_FATAL_FAILURE(expectEndWithin(kQuitLimit, "Alt+Q"));
  expectNewest(keyboardReport(), 49);
}

TEST_F(UpdaterWindow, QuitDuringTheUpdateWithYesEndsTheApplicationCleanly) {
  start({});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  ASSERT_NO_FATAL_FAILURE(quitDuringTheUpdate());
  ASSERT_NO_FATAL_FAILURE(expectEndWithin(kQuitLimit, "Yes"));
  EXPECT_EQ(m_app->output().find("Sanitizer"), std::string::npos) << m_app->output();
  EXPECT_NE(pages().back(), "done") << "the update was left, not finished";
}

TEST_F(UpdaterWindow, AfterAQuitDuringTheWritingTheNextStartUpdatesAtOnce) {
  // Blocks that keep the keyboard busy make the writing last long enough to
  // quit in the middle of a block. The application then starts again on the
  // same keyboard, left in its loader.
  start({"--busy-polls", "2", "--poll-timeout", "10"}, true, 2);
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  ASSERT_NO_FATAL_FAILURE(quitDuringTheUpdate());
  ASSERT_TRUE(waitForPage("update-available")) << "the second start offers no update";
  const std::size_t firstRun = pages().size() - 1;
  m_window = m_session.waitForWindow(kWindowName, kStartLimit);
  ASSERT_FALSE(m_window.empty());
  click(kActionButton);
  expectUpdateRoad();
  const std::vector<std::string> shown = pages();
  EXPECT_EQ(std::vector<std::string>(shown.begin() + firstRun, shown.end()), kStraightThrough);
  quit();
  const nlohmann::json report = keyboardReport();
  expectNewest(report, 49);
  // The download cut short was cancelled once its block was written, so no
  // error was left to clear.
  EXPECT_EQ(report["requestCounts"]["ABORT"], 1);
  EXPECT_EQ(report["requestCounts"]["CLRSTATUS"], 0);
}

TEST_F(UpdaterWindow, MenusOpenTheAboutOverlayAndTheHelpAddresses) {
  start({"--main-version", "69", "--second-version", "13"});
  ASSERT_TRUE(waitForPage("up-to-date"));
  chooseFromMenu(kApplicationMenuX, kFirstItemY);
  ASSERT_TRUE(waitForPage("about shown", 20s)) << "About did not open the overlay";
  click(kAboutCloseButton);
  ASSERT_TRUE(waitForPage("about hidden", 20s));
  chooseFromMenu(kHelpMenuX, kFirstItemY);
  ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return !openedAddresses().empty(); }, 20s));
  chooseFromMenu(kHelpMenuX, kSecondItemY);
  ASSERT_TRUE(QV::TestSupport::waitUntil(
      [&] {
        const std::string addresses = openedAddresses();
        return std::count(addresses.begin(), addresses.end(), '\n') >= 2;
      },
      20s));
  EXPECT_EQ(openedAddresses(),
            "https://support.orveltarsin.example/vanta/firmware-updater\nhttps://www.orveltarsin.example/\n");
  quit();
}

TEST_F(UpdaterWindow, AltQQuitsAtOnceWhenNoUpdateRuns) {
  start({"--main-version", "69", "--second-version", "13"});
  ASSERT_TRUE(waitForPage("up-to-date"));
  typeQuitKey();
  expectEndWithin(30s, "Alt+Q");
}

// Quitting while the keyboard stays busy and asks for no wait between its
// polls: the worker sees the quit between two requests, gives the keyboard a
// bounded time to become idle, and the application ends within seconds. The
// keyboard is left in its loader and no request reached it while it was busy,
// so the next start can take it from there.
TEST_F(UpdaterWindow, QuitWhileTheKeyboardStaysBusyEndsWithinSeconds) {
  start({"--busy-forever", "--poll-timeout", "0"});
  nlohmann::json report;
  ASSERT_NO_FATAL_FAILURE(quitWhileTheKeyboardIsStuck(report));
  EXPECT_EQ(report["status"], 0) << "a request reached the keyboard while it was busy";
}

// Quitting while the keyboard answers nothing, as a loader hung on a block:
// the request in flight is cancelled, the requests after the quit end with the
// same two seconds, and the keyboard is left as it is.
TEST_F(UpdaterWindow, QuitWhileTheKeyboardAnswersNothingEndsWithinSeconds) {
  start({"--hang-block", "5"});
  nlohmann::json report;
  ASSERT_NO_FATAL_FAILURE(quitWhileTheKeyboardIsStuck(report));
  EXPECT_EQ(report["hung"], true);
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 6);
}

// Quitting while the keyboard is busy with a block it announced a second for:
// the updater ends only once that second is over, so that the updater started
// again at once reaches the keyboard when it listens again, finds it and
// offers it the update; nothing reached it while it was busy.
TEST_F(UpdaterWindow, AfterAQuitWhileTheKeyboardIsBusyTheNextStartAtOnceFindsIt) {
  start({"--busy-forever", "--poll-timeout", "1000"}, true, 2);
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  const std::size_t firstRun = pages().size();
  ASSERT_NO_FATAL_FAILURE(quitDuringTheUpdate());
  ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return pages().size() > firstRun; }, kStartLimit))
      << "the second start shows no page";
  EXPECT_EQ(pages()[firstRun], "update-available");
  m_window = m_session.waitForWindow(kWindowName, kStartLimit);
  ASSERT_FALSE(m_window.empty());
  shoot("restart-after-busy-quit");
  quit();
  const nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["requestCounts"]["CLRSTATUS"], 0);
  EXPECT_EQ(report["status"], 0) << "a request reached the keyboard while it was busy";
}

// A keyboard that answers nothing holds the window little. A loader hung on a
// block, as a quit leaves it, is named from the kernel's record when the
// updater starts again, which asks it nothing: its page offers the update, and
// Alt+Q ends the updater there. A keyboard whose serial number the kernel did
// not keep, and that does not give it, is taken for one whose serial number
// cannot be read: each scan asks it once, and waits for it no longer than a
// request may take; it is never shown nor connected, so RESCAN holds the
// window briefly, and a quit right after one ends within the quit's bound.
TEST_F(UpdaterWindow, AKeyboardThatAnswersNothingHoldsTheWindowBriefly) {
  start({"--hang-block", "5"}, true, 2);
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  ASSERT_NO_FATAL_FAILURE(quitDuringTheUpdate());
  ASSERT_TRUE(waitForPage("update-available")) << "the second start";
  m_window = m_session.waitForWindow(kWindowName, kStartLimit);
  ASSERT_FALSE(m_window.empty());
  typeQuitKey();
  ASSERT_NO_FATAL_FAILURE(expectEndWithin(kQuitLimit, "Alt+Q"));
  nlohmann::json report = keyboardReport();
  EXPECT_EQ(report["hung"], true);
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], 6);
  EXPECT_EQ(report["requestsLeftPending"], 0);

  start({"--hang-request", "SERIAL_NUMBER"});
  ASSERT_TRUE(waitForPage("no-device"));
  const std::size_t shown = pages().size();
  click(kActionButton);
  const auto clicked = std::chrono::steady_clock::now();
  ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return pages().size() > shown; }, kPageLimit));
  const auto held = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - clicked);
  std::cout << "RESCAN held the window " << held.count() << " ms\n";
  EXPECT_LT(held, 2s) << "RESCAN held the window";
  EXPECT_EQ(pages().back(), "no-device");
  click(kActionButton);
  typeQuitKey();
  ASSERT_NO_FATAL_FAILURE(expectEndWithin(kQuitLimit, "Alt+Q"));
  // The start's scan and each RESCAN's asked for the serial number once,
  // and nothing else was sent.
  report = keyboardReport();
  ASSERT_EQ(report["requests"].size(), 3u) << report["requests"];
  for (const nlohmann::json& request : report["requests"]) {
    EXPECT_EQ(request["bRequest"], 6);
    EXPECT_EQ(request["wValue"], 0x0303);
  }
  EXPECT_EQ(report["requestsLeftPending"], 0);
}

// A keyboard that leaves the read of its second image's version unanswered
// holds the first page no longer than one request may take beyond the time a
// keyboard that answers takes, and Alt+Q on that page ends the updater at
// once; so does one on the newest main firmware, whose second image's
// version decides whether an update is due.
TEST_F(UpdaterWindow, AKeyboardThatAnswersNothingToTheVersionReadHoldsTheFirstPageBriefly) {
  const std::vector<std::vector<std::string>> keyboards = {{}, {"--main-version", "69", "--second-version", "12"}};
  for (const std::vector<std::string>& keyboard : keyboards) {
    SCOPED_TRACE(keyboard.empty() ? "an older main firmware" : "the newest main firmware");
    start(keyboard);
    const std::chrono::milliseconds answered = firstPageTime("update-available");
    quit();
    std::vector<std::string> unansweringKeyboard = keyboard;
    unansweringKeyboard.insert(unansweringKeyboard.end(), {"--hang-request", "CUSTOM_VERSION"});
    start(unansweringKeyboard);
    const std::chrono::milliseconds unanswered = firstPageTime("update-available");
    std::cout << "the first page came " << answered.count() << " ms after the start, "
              << unanswered.count() << " ms with the version read unanswered\n";
    EXPECT_LT(unanswered - answered, 2s);
    typeQuitKey();
    ASSERT_NO_FATAL_FAILURE(expectEndWithin(3s, "Alt+Q"));
    const nlohmann::json report = keyboardReport();
    EXPECT_GE(report["requestCounts"]["CUSTOM_VERSION"], 1);
    EXPECT_EQ(report["requestsLeftPending"], 0);
  }
}

// Quit asked again while the question is open (Alt+Q into the window behind
// it) asks nothing more: No then answers the only question, and the update
// goes on to its end.
TEST_F(UpdaterWindow, QuitAskedAgainWhileTheQuestionIsOpenAsksOnce) {
  start({"--busy-polls", "2", "--poll-timeout", "10"});
  ASSERT_TRUE(waitForPage("update-available"));
  click(kActionButton);
  ASSERT_TRUE(waitForPage("updating writing"));
  typeQuitKey();
  const std::string question = waitForQuestion();
  ASSERT_FALSE(question.empty()) << "no question";
  typeQuitKey();
  ASSERT_TRUE(m_session.xdotool({"key", "--window", question, "Return"}));
  ASSERT_TRUE(QV::TestSupport::waitUntil(
      [&] { return !m_session.xdotool({"search", "--onlyvisible", "--name", "^Information$"}).has_value(); }, 20s))
      << "a second question is open";
  ASSERT_TRUE(waitForPage("done"));
  EXPECT_FALSE(m_app->waitForExit(0s).has_value());
  quit();
  expectNewest(keyboardReport(), 49);
}

// On a desktop where GNUstep's daemons do not run yet, the application starts
// them as its children, and the Help menu starts xdg-open: none of them cuts
// the application off the keyboard it holds, and UPDATE goes through at the
// first attempt.
class UpdaterWindowWithoutDaemons : public UpdaterWindow {
 protected:
  UpdaterWindowWithoutDaemons() : UpdaterWindow(false) {}
};

TEST_F(UpdaterWindowWithoutDaemons, TheChildrenTheApplicationStartsLeaveItTheKeyboard) {
  start({}, false);
  ASSERT_TRUE(waitForPage("update-available"));
  chooseFromMenu(kHelpMenuX, kFirstItemY);
  ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return !openedAddresses().empty(); }, 20s));
  updateStraightThrough();
  quit();
  expectNewest(keyboardReport(), 49);
}

// A quit asked for while the updater is busy is acted on once, as soon as the
// window is free. While the switch into update mode holds the window (Alt+Q
// twice, or the close box): where the switch does not find the keyboard the
// updater ends as the window goes on to look for it, nothing being written,
// as QUIT on the asking page would end it; where it succeeds the one
// question opens: No lets the update go on to its end, Yes ends the updater
// before anything is written, the keyboard left in update mode with its
// firmware as it was. The end of the
// session (signals to the updater's process group: SIGTERM and SIGHUP as
// logind sends them at a logout, SIGTERM alone as kill does) asks nothing:
// the updater ends at once, cleanly, and leaves the keyboard as a quit
// leaves it, also while the quit question is open. A click on the greyed
// action button while the switch holds the window is no quit, and no RETRY
// once the switch ends on the asking page: the user never saw that button;
// nor is a click on RETRY stamped with a time before RETRY was shown, as a
// click made during the switch but read after the page changed; Alt+Q then
// quits.
// The window's first click, a tap (press and release at once), on UPDATE
// starts the switch, and Alt+Q during it asks the question; on the close box
// it quits, and the Alt+Q after it is not held back. So does a click under a
// pointer that rests on UPDATE since before the window appeared, and one sent
// by another program, stamped 0.
struct HeldQuit {
  const char* name;
  std::vector<std::string> keyboard;
  enum Input {
    kQuitKeyTwice,
    kCloseBox,
    kSessionEnds,
    kSessionEndsAsked,
    kGreyedActionButton,
    kStaleClickOnRetry,
    kFirstClick
  } input;
  // The page the input is given on; during the switch, well inside the hold.
  const char* page = "updating switching";
  bool switchSucceeds = false;
  std::vector<int> signals = {SIGTERM};
  bool yes = false;  // the answer to the question
  // The window's first click: how it is made (a pointer at rest clicks
  // where it is) and where.
  enum Click { kTap, kRestingTap, kSentClick } click = kTap;
  Place place = kActionButton;
};

class QuitDuringTheSwitch : public UpdaterWindow, public testing::WithParamInterface<HeldQuit> {};

TEST_P(QuitDuringTheSwitch, IsActedOnOnceTheWindowIsFree) {
  const HeldQuit& row = GetParam();
  const std::string page = row.page;
  const bool resting = row.input == HeldQuit::kFirstClick && row.click == HeldQuit::kRestingTap;
  if (resting) {
    const Place onScreen{kWindowOnScreen.x + row.place.x,
                         kWindowOnScreen.y + kWindowHeight - kContentHeight + row.place.y};
    ASSERT_TRUE(m_session.xdotool({"mousemove", std::to_string(onScreen.x), std::to_string(onScreen.y)}));
  }
  start(row.keyboard);
  ASSERT_TRUE(waitForPage("update-available"));
  if (page != "update-available") {
    click(kActionButton);
    ASSERT_TRUE(waitForPage(page));
  }
  // The switch holds the window for 2.5 s and more.
  if (page == "updating switching") std::this_thread::sleep_for(500ms);
  switch (row.input) {
    case HeldQuit::kCloseBox:
      ASSERT_NO_FATAL_FAILURE(click(kCloseBox));
      break;
    case HeldQuit::kQuitKeyTwice:
      ASSERT_NO_FATAL_FAILURE(typeQuitKey());
      ASSERT_NO_FATAL_FAILURE(typeQuitKey());
      break;
    case HeldQuit::kFirstClick:
      switch (row.click) {
        case HeldQuit::kTap:
          ASSERT_NO_FATAL_FAILURE(click(row.place, Press::kTap));
          break;
        case HeldQuit::kRestingTap: {
          const std::string where =
              "Position: " + std::to_string(kWindowOnScreen.x) + "," + std::to_string(kWindowOnScreen.y);
          ASSERT_NE(m_session.xdotool({"getwindowgeometry", m_window}).value_or("").find(where), std::string::npos)
              << "the window is not where the pointer waits";
          ASSERT_TRUE(m_session.xdotool({"click", "1"}));
          break;
        }
        case HeldQuit::kSentClick:
          ASSERT_NO_FATAL_FAILURE(click(row.place, Press::kSent));
          break;
      }
      if (row.switchSucceeds) {
        ASSERT_TRUE(waitForPage("updating switching")) << "the click was lost";
      }
      // The window may be gone already.
      m_session.xdotool({"key", "--window", m_window, "alt+q"});
      break;
    case HeldQuit::kGreyedActionButton:
    case HeldQuit::kStaleClickOnRetry: {
      const bool stale = row.input == HeldQuit::kStaleClickOnRetry;
      const Time duringTheSwitch = stale ? serverTime() : CurrentTime;
      if (!stale) {
        ASSERT_NO_FATAL_FAILURE(click(kActionButton));
      }
      ASSERT_TRUE(waitForPage("ask-update-mode"));
      if (stale) {
        // Read after the page changed, it meets RETRY enabled.
        ASSERT_NE(duringTheSwitch, static_cast<Time>(CurrentTime));
        ASSERT_NO_FATAL_FAILURE(sendClickStamped(kActionButton, duringTheSwitch));
      }
      // The click waited out the switch; taken for RETRY, it would have
      // started another one at once.
      std::this_thread::sleep_for(1500ms);
      shoot(std::string("held-") + row.name);
      const std::vector<std::string> shown = pages();
      EXPECT_EQ(std::count(shown.begin(), shown.end(), "updating switching"), 1)
          << "the click made during the switch pressed RETRY";
      EXPECT_EQ(shown.back(), "ask-update-mode");
      ASSERT_NO_FATAL_FAILURE(typeQuitKey());
      expectEndWithin(kQuitLimit, "Alt+Q");
      return;
    }
    case HeldQuit::kSessionEndsAsked:
      ASSERT_NO_FATAL_FAILURE(typeQuitKey());
      ASSERT_FALSE(waitForQuestion().empty()) << "no question";
      [[fallthrough]];
    case HeldQuit::kSessionEnds: {
      for (int signal : row.signals) ASSERT_TRUE(m_app->sendSignalToGroup(signal));
      ASSERT_NO_FATAL_FAILURE(expectEndWithin(kQuitLimit, "the signal"));
      EXPECT_EQ(m_app->output().find("Sanitizer"), std::string::npos) << m_app->output();
      // Untouched; or left in its loader without an error, as a Yes to the
      // quit question leaves it, for the next start to update.
      const bool untouched = page == "update-available";
      const nlohmann::json report = keyboardReport();
      EXPECT_EQ(report["mode"], untouched ? "normal" : "update");
      EXPECT_EQ(report["requestCounts"]["DETACH"], untouched ? 0 : 1);
      EXPECT_EQ(report["onBus"], true);
      EXPECT_EQ(report["status"], 0);
      if (page == "updating switching") expectSwitchedOnly(report);
      return;
    }
  }
  shoot(std::string("held-") + row.name);
  if (!row.switchSucceeds) {
    // The switch lets the window go within its 2.5 s.
    ASSERT_NO_FATAL_FAILURE(expectEndWithin(2500ms + kQuitLimit, "the quit"));
    EXPECT_EQ(keyboardReport()["requestCounts"]["DNLOAD"], 0);
    return;
  }
  const std::string question = waitForQuestion();
  ASSERT_FALSE(question.empty()) << "no question";
  shoot(std::string("held-question-") + row.name);
  if (row.yes) {
    ASSERT_NO_FATAL_FAILURE(answerYes(question));
    ASSERT_NO_FATAL_FAILURE(expectEndWithin(kQuitLimit, "Yes"));
    expectSwitchedOnly(keyboardReport());
    return;
  }
  ASSERT_TRUE(m_session.xdotool({"key", "--window", question, "Return"}));
  ASSERT_TRUE(waitForPage("done"));
  EXPECT_FALSE(m_session.xdotool({"search", "--onlyvisible", "--name", "^Information$"}).has_value())
      << "a second question is open";
  quit();
  expectNewest(keyboardReport(), 49);
}

INSTANTIATE_TEST_SUITE_P(
    Held, QuitDuringTheSwitch,
    testing::Values(HeldQuit{"askKey", {"--no-reenumerate"}, HeldQuit::kQuitKeyTwice},
                    HeldQuit{"askCloseBox", {"--reenumerate-delay", "8000"}, HeldQuit::kCloseBox},
                    HeldQuit{"askGreyedClick", {"--no-reenumerate"}, HeldQuit::kGreyedActionButton},
                    HeldQuit{"askStaleClick", {"--no-reenumerate"}, HeldQuit::kStaleClickOnRetry},
                    HeldQuit{"tapUpdate", {}, HeldQuit::kFirstClick, "update-available", true, {}, true},
                    HeldQuit{"tapCloseBox", {}, HeldQuit::kFirstClick, "update-available", false, {}, false,
                             HeldQuit::kTap, kCloseBox},
                    HeldQuit{"tapResting", {}, HeldQuit::kFirstClick, "update-available", true, {}, true,
                             HeldQuit::kRestingTap},
                    HeldQuit{"tapSent", {}, HeldQuit::kFirstClick, "update-available", true, {}, true,
                             HeldQuit::kSentClick},
                    HeldQuit{"goKey", {}, HeldQuit::kQuitKeyTwice, "updating switching", true},
                    HeldQuit{"goCloseBox", {}, HeldQuit::kCloseBox, "updating switching", true},
                    HeldQuit{"goKeyYes", {}, HeldQuit::kQuitKeyTwice, "updating switching", true, {}, true},
                    HeldQuit{"endSwitching", {}, HeldQuit::kSessionEnds},
                    HeldQuit{"endOffered", {}, HeldQuit::kSessionEnds, "update-available", false, {SIGTERM, SIGHUP}},
                    HeldQuit{"endWriting", {"--busy-polls", "2", "--poll-timeout", "10"}, HeldQuit::kSessionEnds,
                             "updating writing"},
                    HeldQuit{"endAsked", {"--busy-polls", "2", "--poll-timeout", "10"}, HeldQuit::kSessionEndsAsked,
                             "updating writing"}),
    [](const testing::TestParamInfo<HeldQuit>& info) { return std::string(info.param.name); });

// A second updater started while one runs ends at once with a message, and
// never reaches the keyboard it is given.
// One updater runs on a machine: a second one refuses to start, also where it
// is another user's, whose session has another runtime folder. (The two
// simulated keyboards meet at the session's folder of claims, which stands in
// for the machine's.)
TEST_F(UpdaterWindow, ASecondUpdaterStartedWhileOneRunsRefusesToStart) {
  start({"--main-version", "69", "--second-version", "13"});
  ASSERT_TRUE(waitForPage("up-to-date"));
  const fs::path secondReport = m_session.folder() / "second-report.json";
  const fs::path otherUser = m_session.folder() / "other-user-runtime";
  fs::create_directories(otherUser);
  fs::permissions(otherUser, fs::perms::owner_all);
  auto second = m_session.start({SIMULATED_KEYBOARD, "--serial", "SECOND", "--report", secondReport.string(), "--",
                                 UPDATER_APP},
                                {{"QV_WIZARD_TRACE", "1"}, {"XDG_RUNTIME_DIR", otherUser.string()}},
                                m_session.folder() / "second.log");
  const auto code = second->waitForExit(kStartLimit);
  ASSERT_TRUE(code.has_value()) << "the second updater runs:\n" << second->output();
  EXPECT_NE(*code, 0);
  EXPECT_NE(second->output().find("is already running; this second instance ends now."), std::string::npos)
      << second->output();
  std::ifstream in(secondReport);
  const nlohmann::json report = nlohmann::json::parse(in, nullptr, false);
  ASSERT_TRUE(report.is_object()) << "no report of the second keyboard";
  EXPECT_EQ(report["requests"].size(), 0u);
  quit();
}

}  // namespace
