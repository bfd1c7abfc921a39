// What every test on a real X display needs: a virtual X server of its own,
// a private temp folder and GNUstep configuration so that tests running side
// by side never share a display, message ports or defaults, GNUstep's
// notification daemon of the session's own, a folder of its own for the
// single-instance claims, xdotool and screenshots bounded in time, and waits
// on conditions with deadlines.
//
// GNUstep ignores HOME and TMPDIR: it keeps its message ports under TEMP and
// finds its defaults through the file that GNUSTEP_CONFIG_FILE names. A
// program started with environment() sees only the session's own.
//
// Thread: the test's main thread.
#pragma once

#include "ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace QV::TestSupport {

using Environment = std::vector<std::pair<std::string, std::string>>;
using Clock = std::chrono::steady_clock;

// Generous, because a GUI test may run beside the whole sanitized test set;
// none of these is a measure of speed.
inline constexpr std::chrono::seconds kServerStartLimit{20};
inline constexpr std::chrono::seconds kToolRunLimit{10};

// Calls `condition` every `step` until it holds or `limit` has passed; true
// when it held. The condition is always tried at least once.
bool waitUntil(const std::function<bool()>& condition, Clock::duration limit,
               Clock::duration step = std::chrono::milliseconds(20));

// Whether an executable of that name is on PATH.
bool onPath(const std::string& tool);

// The first line of `output` that is a plain number, as xdotool prints
// window ids; empty when there is none.
std::string firstNumber(const std::string& output);

// A virtual X server that picks a free display number itself and tells it
// through a pipe, so that servers started side by side never share a display.
class VirtualDisplay {
 public:
  // `folder` receives the server's log; `screen` is WIDTHxHEIGHTxDEPTH.
  VirtualDisplay(const std::filesystem::path& folder, const std::string& screen);
  // Stopped rather than killed, so that the server removes its socket.
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", or empty when the server did not come up.
  const std::string& name() const { return m_name; }
  std::string log() const;

 private:
  std::unique_ptr<ChildProcess> m_server;
  std::string m_name;
};

class GuiSession {
 public:
  struct Options {
    std::string screen = "800x600x24";
    // Global defaults added to the session's own (key, value as text), such
    // as {"NSMenuInterfaceStyle", "NSWindows95InterfaceStyle"}.
    Environment defaults;
    // GNUstep's notification daemon: a launching application connects to
    // one and starts one itself when none answers, as on a desktop where
    // none runs yet; the session ends such a daemon when it ends.
    bool notificationCenter = true;
  };

  GuiSession();
  explicit GuiSession(const Options& options);
  ~GuiSession();
  GuiSession(const GuiSession&) = delete;
  GuiSession& operator=(const GuiSession&) = delete;

  // Empty when everything came up; otherwise what did not, with its log.
  const std::string& problem() const { return m_problem; }
  bool ready() const { return m_problem.empty(); }

  const std::string& display() const;
  // The session's private folder (mode 0700): GNUstep's TEMP, its defaults,
  // its user folders and the logs of the session's own programs.
  const std::filesystem::path& folder() const { return m_folder; }
  const std::filesystem::path& defaultsFolder() const { return m_defaultsFolder; }

  // DISPLAY, TEMP and GNUSTEP_CONFIG_FILE for a program started under the
  // session, and QV_INSTANCE_LOCK_DIR: its single-instance claims are the
  // session's, so that applications of tests running side by side are not
  // one another's second instance, while two of one session are.
  Environment environment() const;

  // Starts `words` under the session with `extra` added to environment();
  // its output goes to `log`.
  std::unique_ptr<ChildProcess> start(std::vector<std::string> words, const Environment& extra,
                                      const std::filesystem::path& log) const;

  // Runs xdotool on the session's display and answers its output, or nothing
  // when it failed or ran past `limit` (searches fail while nothing matches).
  std::optional<std::string> xdotool(std::vector<std::string> words, Clock::duration limit = kToolRunLimit) const;

  // The id of the first visible window whose name matches the regular
  // expression `name`, waiting up to `limit`; empty when none appeared.
  std::string waitForWindow(const std::string& name, Clock::duration limit) const;

  // Writes the whole screen to `png` with ImageMagick's import (xwd misses
  // open menus); the folders on the way are made. False when it failed.
  bool screenshot(const std::filesystem::path& png) const;

 private:
  bool writeConfiguration(const Options& options);
  bool startNotificationCenter();
  void endDaemonsStartedInside() const;

  std::filesystem::path m_folder;
  std::filesystem::path m_defaultsFolder;
  std::filesystem::path m_configFile;
  std::unique_ptr<VirtualDisplay> m_display;
  std::unique_ptr<ChildProcess> m_notificationCenter;
  std::string m_problem;
};

// Launch reports: a GNUstep program started with launchReporting(report)
// added to its environment writes the moment it finished launching
// (NSApplicationDidFinishLaunchingNotification) into `report`, and the
// moment its first visible window was first flushed to the display, without
// any change to the program. Times are CLOCK_MONOTONIC nanoseconds,
// comparable across processes.
Environment launchReporting(const std::filesystem::path& report);
struct LaunchReport {
  std::int64_t at = 0;         // CLOCK_MONOTONIC nanoseconds
  int pid = 0;                 // the application's process, also when started through a wrapper
  std::int64_t paintedAt = 0;  // the first paint; 0 while no window has been seen
};
// The report, or nothing while the program has not got that far.
std::optional<LaunchReport> launchReported(const std::filesystem::path& report);
std::int64_t monotonicNanoseconds();

// Where a test keeps its screenshots after it ended: the build folder's
// test-screenshots/<group>/<name>.png. Groups keep parallel tests apart.
std::filesystem::path screenshotFile(const std::string& group, const std::string& name);

}  // namespace QV::TestSupport
