// simulated-keyboard [options] -- COMMAND [ARG...]
//
// Runs COMMAND as a child with simulated keyboards on a umockdev USB bus,
// serves them until the child exits, writes the report and exits with the
// child's exit code. With --plug-in-on-signal the first keyboard waits off
// the bus until the program receives SIGUSR1.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "KeyboardHost.h"
#include "Options.h"

extern char** environ;

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
constexpr int kCommandNotStarted = 127;  // what shells answer for a command they cannot run
constexpr const char* kReexecutedVariable = "SIMULATED_KEYBOARD_REEXECUTED";
// The folder of the updaters' single-instance claims (the platform layer's
// InstanceLock reads it), and the one this program makes for its command.
constexpr const char* kLockFolderVariable = "QV_INSTANCE_LOCK_DIR";
constexpr const char* kLockFolderName = "instance-locks";

std::atomic<pid_t> g_child{0};
std::atomic<int> g_signalBeforeChild{0};  // one that a thread not holding signals took early

void forwardSignal(int signal) {
  const pid_t child = g_child.load();
  if (child > 0) {
    kill(child, signal);
  } else {
    g_signalBeforeChild = signal;
  }
}

void complain(const std::string& message) { std::fprintf(stderr, "simulated-keyboard: %s\n", message.c_str()); }

std::vector<char*> argvOf(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
}

// umockdev must be preloaded before the program starts; when it was not,
// start again through umockdev-wrapper. The preload library then comes before
// the AddressSanitizer runtime of a sanitized build, which must be told not
// to mind.
// This program's own file; empty, with the reason told, when it cannot be
// found.
std::string ownFile() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    complain(std::string("cannot find this program's own file: ") + std::strerror(errno));
    return {};
  }
  return std::string(self, static_cast<std::size_t>(length));
}

int reexecuteUnderWrapper(int argc, char** argv) {
  if (std::getenv(kReexecutedVariable) != nullptr) {
    complain("umockdev's preload library is still not loaded after umockdev-wrapper; is umockdev installed?");
    return kFailure;
  }
  const std::string self = ownFile();
  if (self.empty()) return kFailure;
  std::string asan = "verify_asan_link_order=0";
  if (const char* existing = std::getenv("ASAN_OPTIONS"); existing != nullptr && *existing != '\0') {
    asan = std::string(existing) + ":" + asan;
  }
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  setenv(kReexecutedVariable, "1", 1);
  std::vector<std::string> words = {"umockdev-wrapper", self};
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  std::vector<char*> wrapperArgv = argvOf(words);
  execvp(wrapperArgv[0], wrapperArgv.data());
  complain(std::string("cannot start umockdev-wrapper: ") + std::strerror(errno));
  return kFailure;
}

// The signals that end the command, and with it this program. They are held
// back from the start of the test bed until the command runs, then forwarded
// to it: a signal that ended this program before would leave the test bed's
// folder behind.
constexpr std::array<int, 3> kForwardedSignals{SIGINT, SIGTERM, SIGHUP};

sigset_t forwardedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kForwardedSignals) sigaddset(&set, signal);
  return set;
}

void holdSignals() {
  struct sigaction action = {};
  action.sa_handler = forwardSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kForwardedSignals) sigaction(signal, &action, nullptr);
  const sigset_t set = forwardedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The signal that plugs in a keyboard started unplugged. It is blocked from
// the first instruction on, before any thread exists, so that every thread
// inherits the mask and none can be ended by it; the mask and a signal
// already pending survive the re-execution under umockdev-wrapper, so one
// sent early waits for the watcher instead of ending the program.
sigset_t plugInSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGUSR1);
  return set;
}

void holdPlugInSignal() {
  const sigset_t set = plugInSignal();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// Plugs a keyboard in each time SIGUSR1 comes. The signal is read from a
// signalfd on a thread of the watcher's own, so that no work is done in a
// signal handler; an eventfd tells the thread to stop.
class PlugInOnSignal {
 public:
  PlugInOnSignal(simkbd::KeyboardHost& host, int id) : m_host(host), m_id(id) {}
  ~PlugInOnSignal() {
    if (m_thread.joinable()) {
      const std::uint64_t one = 1;
      while (write(m_stop, &one, sizeof one) < 0 && errno == EINTR) {
      }
      m_thread.join();
    }
    if (m_signals >= 0) close(m_signals);
    if (m_stop >= 0) close(m_stop);
  }
  PlugInOnSignal(const PlugInOnSignal&) = delete;
  PlugInOnSignal& operator=(const PlugInOnSignal&) = delete;

  // Starts watching; false, with `error` set, when the descriptors could not
  // be made. The descriptors are closed on exec: the command must not read
  // this program's signals.
  bool start(std::string& error) {
    const sigset_t set = plugInSignal();
    m_signals = signalfd(-1, &set, SFD_CLOEXEC);
    m_stop = eventfd(0, EFD_CLOEXEC);
    if (m_signals < 0 || m_stop < 0) {
      error = std::string("cannot watch for SIGUSR1: ") + std::strerror(errno);
      return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
  }

 private:
  void run() {
    pollfd watched[2] = {{m_signals, POLLIN, 0}, {m_stop, POLLIN, 0}};
    for (;;) {
      if (poll(watched, 2, -1) < 0) {
        if (errno == EINTR) continue;
        complain(std::string("stopped watching for SIGUSR1: ") + std::strerror(errno));
        return;
      }
      if (watched[1].revents != 0) return;
      signalfd_siginfo info;
      if (read(m_signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
      const std::string keyboard = m_host.description(m_id);
      if (m_host.plugIn(m_id)) {
        complain("plugged in " + keyboard);
      } else if (m_host.onBus(m_id)) {
        complain("SIGUSR1: " + keyboard + " is on the bus already");
      } else {
        complain("SIGUSR1: could not plug in " + keyboard);
      }
    }
  }

  simkbd::KeyboardHost& m_host;
  const int m_id;
  int m_signals = -1;
  int m_stop = -1;
  std::thread m_thread;
};

// The library preloaded into the command, ahead of umockdev's (see
// ChildPreload.cpp): it keeps the processes the command starts, and the
// command's threads, from cutting it off the keyboards. Built beside this
// program.
constexpr const char* kChildPreloadName = "libsimulated-keyboard-child.so";

// The library above, beside this program; empty, with the reason told, when
// it is not there or its path cannot stand in LD_PRELOAD, which splits at
// spaces and colons.
std::string childPreload() {
  const std::string self = ownFile();
  if (self.empty()) return {};
  const std::string library = self.substr(0, self.rfind('/') + 1) + kChildPreloadName;
  if (access(library.c_str(), R_OK) != 0) {
    complain("cannot find " + library + ", which the command needs; build the simkbd_child_preload target");
    return {};
  }
  if (library.find_first_of(" :") != std::string::npos) {
    complain("cannot preload " + library + ": LD_PRELOAD takes no path with a space or a colon");
    return {};
  }
  return library;
}

// The command's environment: this program's as it is now (the test bed has
// set UMOCKDEV_DIR in it), with `library` put first in LD_PRELOAD, before
// umockdev's preload library.
std::vector<std::string> childEnvironment(const std::string& library) {
  std::vector<std::string> environment;
  std::string preload = "LD_PRELOAD=" + library;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable = *entry;
    if (variable.starts_with("LD_PRELOAD=")) {
      const std::string_view others = variable.substr(std::string_view("LD_PRELOAD=").size());
      if (!others.empty()) preload += ":" + std::string(others);
    } else {
      environment.emplace_back(variable);
    }
  }
  environment.push_back(preload);
  return environment;
}

// The command sees only this program's keyboards, so an updater among its
// programs meets the updaters of the same command, not those of the machine
// or of other simulated keyboards: it is given a folder of its own for the
// single-instance claim, in the test bed, which goes with it. A folder named
// already is kept, for a test that has updaters of two simulated keyboards
// meet. False, with the reason told, when none could be made.
bool giveTheCommandItsOwnLockFolder() {
  if (const char* named = std::getenv(kLockFolderVariable); named != nullptr && *named != '\0') return true;
  const char* bed = std::getenv("UMOCKDEV_DIR");
  if (bed == nullptr) {
    complain("the test bed has no folder (UMOCKDEV_DIR is not set)");
    return false;
  }
  const std::string folder = std::string(bed) + "/" + kLockFolderName;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    complain("cannot make " + folder + ": " + std::strerror(errno));
    return false;
  }
  setenv(kLockFolderVariable, folder.c_str(), 1);
  return true;
}

// Starts the command and waits for it; returns its exit code as a shell would.
int runChild(std::vector<std::string> command, const std::string& preload) {
  std::vector<std::string> environment = childEnvironment(preload);
  std::vector<char*> childEnvp = argvOf(environment);
  std::vector<char*> childArgv = argvOf(command);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, childArgv[0], nullptr, &attributes, childArgv.data(), childEnvp.data());
  posix_spawnattr_destroy(&attributes);
  if (spawned == 0) g_child = child;
  const sigset_t held = forwardedSignals();
  pthread_sigmask(SIG_UNBLOCK, &held, nullptr);  // delivers, and so forwards, what came meanwhile
  if (spawned != 0) {
    complain("cannot run " + command.front() + ": " + std::strerror(spawned));
    return kCommandNotStarted;
  }
  if (const int early = g_signalBeforeChild.exchange(0); early != 0) kill(child, early);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      complain(std::string("lost the command: ") + std::strerror(errno));
      return kFailure;
    }
  }
  g_child = 0;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

bool writeReport(const simkbd::KeyboardHost& host, const std::vector<int>& ids, const std::string& path) {
  nlohmann::json report = host.report(ids.front());
  if (ids.size() > 1) {
    nlohmann::json others = nlohmann::json::array();
    for (std::size_t i = 1; i < ids.size(); ++i) others.push_back(host.report(ids[i]));
    report["additionalKeyboards"] = others;
  }
  std::ofstream out(path, std::ios::trunc);
  out << report.dump(2) << '\n';
  out.close();
  if (!out) {
    complain("cannot write the report to " + path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  simkbd::Options options;
  std::string error;
  if (!simkbd::Options::parse(arguments, options, error)) {
    complain(error);
    std::fputs(simkbd::Options::usage().c_str(), stderr);
    return kUsageError;
  }
  if (options.help) {
    std::fputs(simkbd::Options::usage().c_str(), stdout);
    return 0;
  }
  const bool plugInOnSignal = options.keyboards.front().startUnplugged;
  if (plugInOnSignal) holdPlugInSignal();
  if (!simkbd::KeyboardHost::underPreloadLibrary()) return reexecuteUnderWrapper(argc, argv);
  unsetenv(kReexecutedVariable);
  holdSignals();
  const std::string preload = childPreload();
  if (preload.empty()) return kFailure;

  std::unique_ptr<simkbd::KeyboardHost> host = simkbd::KeyboardHost::create(error);
  if (!host) {
    complain(error);
    return kFailure;
  }
  if (!giveTheCommandItsOwnLockFolder()) return kFailure;
  std::vector<int> ids;
  for (const simkbd::KeyboardConfig& config : options.keyboards) {
    const int id = host->plug(config);
    if (id < 0) {
      complain("could not attach the keyboard");
      return kFailure;
    }
    ids.push_back(id);
    if (!config.startUnplugged) complain("attached " + host->description(id));
  }
  std::unique_ptr<PlugInOnSignal> watcher;
  if (plugInOnSignal) {
    watcher = std::make_unique<PlugInOnSignal>(*host, ids.front());
    if (!watcher->start(error)) {
      complain(error);
      return kFailure;
    }
    complain("unplugged " + host->description(ids.front()) + ": kill -USR1 " + std::to_string(getpid()) +
             " plugs it in");
  }

  int exitCode = runChild(options.command, preload);
  watcher.reset();
  if (!options.reportPath.empty() && !writeReport(*host, ids, options.reportPath) && exitCode == 0) {
    exitCode = kFailure;
  }
  return exitCode;
}
