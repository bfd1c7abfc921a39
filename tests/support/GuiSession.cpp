#include "GuiSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

namespace QV::TestSupport {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Every GNUstep user folder that the system configuration names relative to
// the home folder; each is given an absolute path inside the session.
const char* const kUserFolderKeys[] = {"GNUSTEP_USER_DIR_APPS",        "GNUSTEP_USER_DIR_ADMIN_APPS",
                                       "GNUSTEP_USER_DIR_WEB_APPS",    "GNUSTEP_USER_DIR_TOOLS",
                                       "GNUSTEP_USER_DIR_ADMIN_TOOLS", "GNUSTEP_USER_DIR_LIBRARY",
                                       "GNUSTEP_USER_DIR_HEADERS",     "GNUSTEP_USER_DIR_LIBRARIES",
                                       "GNUSTEP_USER_DIR_DOC",         "GNUSTEP_USER_DIR_DOC_MAN",
                                       "GNUSTEP_USER_DIR_DOC_INFO"};

std::string xmlEscaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, Clock::duration limit, Clock::duration step) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
}

bool onPath(const std::string& tool) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && access((folder + "/" + tool).c_str(), X_OK) == 0) return true;
  return false;
}

std::string firstNumber(const std::string& output) {
  std::stringstream lines(output);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return line;
  return {};
}

VirtualDisplay::VirtualDisplay(const fs::path& folder, const std::string& screen) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  m_server = std::make_unique<ChildProcess>(
      // Without -noreset the server resets whenever its last client leaves,
      // and refuses connections while it does.
      std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                               "-screen", "0", screen},
      Environment{}, folder / "xvfb.log", fds[1]);
  close(fds[1]);
  std::string number;
  const auto deadline = Clock::now() + kServerStartLimit;
  while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
    pollfd ready{fds[0], POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char chunk[16];
    const ssize_t got = read(fds[0], chunk, sizeof chunk);
    if (got <= 0) break;
    number.append(chunk, static_cast<std::size_t>(got));
  }
  close(fds[0]);
  if (number.find('\n') != std::string::npos) m_name = ":" + number.substr(0, number.find('\n'));
}

VirtualDisplay::~VirtualDisplay() {
  if (m_server) m_server->stop(kServerStartLimit);
}

std::string VirtualDisplay::log() const { return m_server ? m_server->output() : std::string(); }

GuiSession::GuiSession() : GuiSession(Options{}) {}

GuiSession::GuiSession(const Options& options) {
  // mkdtemp makes the folder with mode 0700: GNUstep keeps its message
  // ports here, and refuses a temp folder that others may write to.
  std::string pattern = (fs::temp_directory_path() / "gui-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    m_problem = "the session's folder could not be made under " + fs::temp_directory_path().string();
    return;
  }
  m_folder = pattern;
  if (!writeConfiguration(options)) return;

  // Missing tools are a broken set-up (scripts/setup installs them), never
  // a reason for a test to pass.
  for (const char* tool : {"Xvfb", "xdotool", "import"}) {
    if (!onPath(tool)) {
      m_problem = std::string(tool) + " is not installed; run scripts/setup";
      return;
    }
  }
  m_display = std::make_unique<VirtualDisplay>(m_folder, options.screen);
  if (m_display->name().empty()) {
    m_problem = "Xvfb did not report a display within the deadline:\n" + m_display->log();
    return;
  }
  if (options.notificationCenter && !startNotificationCenter()) return;
}

GuiSession::~GuiSession() {
  if (m_notificationCenter) m_notificationCenter->stop(kServerStartLimit);
  m_notificationCenter.reset();
  endDaemonsStartedInside();
  m_display.reset();
  std::error_code ignored;
  if (!m_folder.empty()) fs::remove_all(m_folder, ignored);
}

const std::string& GuiSession::display() const {
  static const std::string none;
  return m_display ? m_display->name() : none;
}

// A copy of the system's GNUstep configuration whose user folders all lie in
// the session's folder, and global defaults that suit a display without a
// window manager: GNUstep draws its own title bars instead of asking for
// decoration offsets it cannot learn ("Failed to determine offsets for
// style N"), and shows no floating application icon.
bool GuiSession::writeConfiguration(const Options& options) {
  std::ifstream system("/etc/GNUstep/GNUstep.conf");
  if (!system) {
    m_problem = "/etc/GNUstep/GNUstep.conf cannot be read; run scripts/setup";
    return false;
  }
  const fs::path user = m_folder / "user";
  m_defaultsFolder = m_folder / "Defaults";
  m_configFile = m_folder / "GNUstep.conf";
  std::ostringstream config;
  for (std::string line; std::getline(system, line);) {
    const std::string key = line.substr(0, line.find('='));
    bool userFolder = false;
    for (const char* name : kUserFolderKeys) userFolder = userFolder || key == name;
    if (userFolder)
      config << key << '=' << (user / key).string() << '\n';
    else if (key == "GNUSTEP_USER_DEFAULTS_DIR")
      config << key << '=' << m_defaultsFolder.string() << '\n';
    else if (key == "GNUSTEP_USER_CONFIG_FILE")
      // The user's own configuration file would override ours.
      config << key << '=' << (m_folder / "user.conf").string() << '\n';
    else
      config << line << '\n';
  }

  Environment defaults{{"GSX11HandlesWindowDecorations", "NO"}, {"GSSuppressAppIcon", "YES"}};
  defaults.insert(defaults.end(), options.defaults.begin(), options.defaults.end());
  std::ostringstream plist;
  plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n";
  for (const auto& [key, value] : defaults)
    plist << "  <key>" << xmlEscaped(key) << "</key>\n  <string>" << xmlEscaped(value) << "</string>\n";
  plist << "</dict>\n</plist>\n";

  std::error_code error;
  fs::create_directories(m_defaultsFolder, error);
  std::ofstream configOut(m_configFile);
  configOut << config.str();
  std::ofstream plistOut(m_defaultsFolder / "NSGlobalDomain.plist");
  plistOut << plist.str();
  configOut.close();
  plistOut.close();
  if (error || !configOut || !plistOut) {
    m_problem = "the session's GNUstep configuration could not be written in " + m_folder.string();
    return false;
  }
  return true;
}

// The session's own daemon runs in the foreground, is found by every program
// of the session through TEMP, and ends with the session.
bool GuiSession::startNotificationCenter() {
  if (!onPath("gdnc")) {
    m_problem = "gdnc is not installed; run scripts/setup";
    return false;
  }
  m_notificationCenter = start({"gdnc", "--no-fork"}, {}, m_folder / "gdnc.log");
  const fs::path names = m_folder / "NSMessagePort" / "names";
  const bool registered = waitUntil(
      [&] {
        if (m_notificationCenter->waitForExit(0s)) return true;
        std::error_code error;
        return !fs::is_empty(names, error) && !error;
      },
      kServerStartLimit);
  if (registered && !m_notificationCenter->waitForExit(0s)) return true;
  m_problem = "GNUstep's notification daemon (gdnc) did not register within the deadline:\n" +
              m_notificationCenter->output();
  m_notificationCenter.reset();
  return false;
}

// A daemon that a program of the session started itself lives on after it,
// detached from it. It is found by the session's folder as its TEMP, which
// no process outside the session holds.
void GuiSession::endDaemonsStartedInside() const {
  if (m_folder.empty()) return;
  const std::string own = "TEMP=" + m_folder.string();
  std::error_code error;
  for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
    const std::string pid = process.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(process.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name != "gdnc" && name != "gpbs") continue;
    std::ifstream environment(process.path() / "environ", std::ios::binary);
    for (std::string variable; std::getline(environment, variable, '\0');) {
      if (variable == own) {
        kill(std::stoi(pid), SIGTERM);
        break;
      }
    }
  }
}

Environment GuiSession::environment() const {
  return {{"DISPLAY", display()},
          {"TEMP", m_folder.string()},
          {"GNUSTEP_CONFIG_FILE", m_configFile.string()},
          {"QV_INSTANCE_LOCK_DIR", m_folder.string()}};
}

std::unique_ptr<ChildProcess> GuiSession::start(std::vector<std::string> words, const Environment& extra,
                                                const fs::path& log) const {
  Environment all = environment();
  all.insert(all.end(), extra.begin(), extra.end());
  return std::make_unique<ChildProcess>(std::move(words), all, log);
}

std::optional<std::string> GuiSession::xdotool(std::vector<std::string> words, Clock::duration limit) const {
  words.insert(words.begin(), "xdotool");
  ChildProcess tool(std::move(words), {{"DISPLAY", display()}}, m_folder / "xdotool.log");
  const std::optional<int> exitCode = tool.waitForExit(limit);
  if (!exitCode || *exitCode != 0) return std::nullopt;
  return tool.output();
}

std::string GuiSession::waitForWindow(const std::string& name, Clock::duration limit) const {
  std::string window;
  waitUntil(
      [&] {
        if (const auto found = xdotool({"search", "--onlyvisible", "--name", name})) window = firstNumber(*found);
        return !window.empty();
      },
      limit, 50ms);
  return window;
}

bool GuiSession::screenshot(const fs::path& png) const {
  std::error_code error;
  if (png.has_parent_path()) fs::create_directories(png.parent_path(), error);
  ChildProcess import({"import", "-window", "root", png.string()}, {{"DISPLAY", display()}},
                      m_folder / "import.log");
  const std::optional<int> exitCode = import.waitForExit(kServerStartLimit);
  return exitCode && *exitCode == 0 && fs::file_size(png, error) > 0 && !error;
}

Environment launchReporting(const fs::path& report) {
  // Kept ahead of what the caller preloads already (umockdev, for one).
  const char* preloaded = std::getenv("LD_PRELOAD");
  std::string preload = QV_LAUNCH_REPORT_LIBRARY;
  if (preloaded && *preloaded) preload += std::string(":") + preloaded;
  // A sanitized program refuses a preload ahead of its sanitizer runtime
  // unless told that the order does not matter; other programs ignore this.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::string asanOptions = asan && *asan ? std::string(asan) + ":" : std::string();
  asanOptions += "verify_asan_link_order=0";
  return {{"LD_PRELOAD", preload}, {"QV_LAUNCH_REPORT", report.string()}, {"ASAN_OPTIONS", asanOptions}};
}

std::optional<LaunchReport> launchReported(const fs::path& report) {
  // The two lines come in either order: a program may show its window
  // before or after it has finished launching.
  std::ifstream in(report);
  std::string word;
  long long nanoseconds = 0;
  int pid = 0;
  std::optional<LaunchReport> launched;
  long long painted = 0;
  while (in >> word >> nanoseconds >> pid) {
    if (word == "launched") launched = LaunchReport{nanoseconds, pid};
    if (word == "painted") painted = nanoseconds;
  }
  if (launched) launched->paintedAt = painted;
  return launched;
}

std::int64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

fs::path screenshotFile(const std::string& group, const std::string& name) {
  return fs::path(QV_TEST_SCREENSHOTS) / group / (name + ".png");
}

}  // namespace QV::TestSupport
