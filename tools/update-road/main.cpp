// update-road [--retries N]
//
// Runs one keyboard update without a window, through the updater's
// configuration as the update wizard drives it, and exits 0 only when the
// keyboard ends at the newest firmware, 1 when it does not, another updater
// runs or a signal ended it, and 2 on a bad argument. A test and
// demonstration program, normally run as the child of simulated-keyboard.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "UpdateRoad.h"
#include "ZARNUpdaterAppModule.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
// More retries than anyone waits for would only hide a keyboard that never
// takes the update.
constexpr unsigned kMostRetries = 100;

constexpr const char* kUsage =
    "usage: update-road [--retries N] [--help]\n"
    "Finds the keyboard, reads its firmware versions and, when an update is due,\n"
    "switches it into update mode, writes the firmware, finds it again and checks\n"
    "its versions, printing every step.\n"
    "  --retries N  further attempts after a failed update, as RETRY makes them\n"
    "               (0 to 100, default 0)\n"
    "  --help       this text\n"
    "SIGTERM, SIGINT and SIGHUP end it as the window's quit ends the window.\n"
    "Exit codes: 0 the keyboard ends at the newest firmware (updated, or up to\n"
    "date already); 1 it does not (no keyboard, a failed update, no firmware in\n"
    "this build for it, another updater running on this machine, ended by a\n"
    "signal); 2 a bad argument.\n";

struct Arguments {
  bool help = false;
  unsigned retries = 0;
};

bool parseCount(std::string_view text, unsigned& value) {
  unsigned parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed > kMostRetries) return false;
  value = parsed;
  return true;
}

bool parse(int argc, char** argv, Arguments& arguments, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--help" || word == "-h") {
      arguments.help = true;
    } else if (word == "--retries") {
      if (i + 1 >= argc) {
        error = "--retries needs a number";
        return false;
      }
      if (!parseCount(argv[++i], arguments.retries)) {
        error = "--retries takes a whole number from 0 to " + std::to_string(kMostRetries) + ", not \"" +
                std::string(argv[i]) + "\"";
        return false;
      }
    } else {
      error = "unknown argument \"" + std::string(word) + "\"";
      return false;
    }
  }
  return true;
}

// The signals by which a session asks a program to end: SIGTERM (logout,
// kill), SIGINT (Control-C) and SIGHUP (its terminal gone). They end the road
// as they end the window, as an approved quit: a keyboard in the middle of a
// block is let finish it, or left in update mode once the time it announced
// is over, so that the next start finds it able to answer. Dying at once
// instead would leave the keyboard busy, and the next start's first request
// would come before the keyboard takes one. The handler only notes the
// signal and wakes the road's wait.
volatile std::sig_atomic_t s_endAsked = 0;
int s_wake = -1;

void noteEndingSignal(int) {
  const int saved = errno;
  s_endAsked = 1;
  const std::uint64_t one = 1;
  (void)!write(s_wake, &one, sizeof one);
  errno = saved;
}

void watchEndingSignals() {
  s_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  struct sigaction action {};
  action.sa_handler = noteEndingSignal;
  action.sa_flags = SA_RESTART;
  constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
  sigemptyset(&action.sa_mask);
  for (const int signal : kEndingSignals) {
    sigaddset(&action.sa_mask, signal);
  }
  for (const int signal : kEndingSignals) {
    // A signal the road was started to ignore (nohup) stays ignored, as the
    // window leaves it.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      sigaction(signal, &action, nullptr);
    }
  }
}

// Waits `time`, or less once the road is asked to end.
void waitUnlessEnded(std::chrono::steady_clock::duration time) {
  const auto until = std::chrono::steady_clock::now() + time;
  for (auto left = time; left > left.zero() && s_endAsked == 0; left = until - std::chrono::steady_clock::now()) {
    pollfd wake{s_wake, POLLIN, 0};
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    poll(&wake, s_wake >= 0 ? 1 : 0, int(std::min<decltype(ms)>(ms, 1000)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  std::string error;
  if (!parse(argc, argv, arguments, error)) {
    std::fprintf(stderr, "update-road: %s\n%s", error.c_str(), kUsage);
    return kUsageError;
  }
  if (arguments.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  // Two updaters on one machine would reach the same keyboard, the second's
  // scan arriving in the middle of the first's block.
  if (QV::ZARNUpdaterAppModule::anotherUpdaterRuns()) {
    std::fputs("update-road: another updater runs on this machine (the window or update-road, of any user); "
               "this one ends now.\n",
               stderr);
    return kFailure;
  }

  watchEndingSignals();
  QV::UpdateRoad::Settings settings;
  settings.retries = arguments.retries;
  settings.sleep = waitUnlessEnded;
  settings.endAsked = [] { return s_endAsked != 0; };
  QV::ZARNUpdaterAppModule module;
  if (!module.init()) {
    std::fputs("update-road: the updater module did not start.\n", stderr);
    return kFailure;
  }
  // The road owns the result word, so it outlives the engine: deInit below
  // ends any worker before the road goes.
  QV::UpdateRoad road(module.config(), settings, std::cout);
  int exitCode = kFailure;
  try {
    exitCode = QV::UpdateRoad::exitCode(road.run());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "update-road: stopped by an error: %s\n", failure.what());
  }
  road.quit();
  module.deInit(false);
  return exitCode;
}
