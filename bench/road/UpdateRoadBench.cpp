// bench-update-road [--size 25|49|61|88]
//
// Runs the whole update road once, in this process, against a simulated
// keyboard, and splits its time into the waits the road asks for (the pause
// before the keyboard is looked for in update mode, the status-poll and
// manifestation waits of the download, the settling wait after it, the
// wizard's own pauses on its timers, and the time the worker's result waits
// for the wizard's next look at it) and the remainder: the road's own work,
// which should stay a small part of the whole.
//
// It serves the keyboard itself through umockdev, so it runs under
// umockdev-wrapper (bench/run-simulated does that).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/chrono.hpp>
#include <boost/thread/thread.hpp>

#include "FirmwareUpdaterConfig.h"
#include "KeyboardHost.h"
#include "UpdateRoad.h"
#include "ZARNUpdaterUpgradeLogic.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The worker's wait after the keyboard has left update mode, before it stores
// its result. The engine waits it without a hook, so it is counted as given.
constexpr std::chrono::seconds kSettleWait{5};

// The engine with its device's waits counted: on the main thread (the pause
// before looking for the keyboard in update mode) and on the worker (status
// polls and manifestation steps). The waits stay interruption points, as the
// engine's own are.
class MeasuredUpgradeLogic : public QV::ZARNUpdaterUpgradeLogic {
 public:
  explicit MeasuredUpgradeLogic(std::thread::id mainThread) {
    m_device.setSleepFunction([this, mainThread](std::chrono::nanoseconds duration) {
      const bool onMain = std::this_thread::get_id() == mainThread;
      (onMain ? m_mainWaits : m_workerWaits) += duration.count();
      ++(onMain ? m_mainWaitCount : m_workerWaitCount);
      boost::this_thread::sleep_for(boost::chrono::nanoseconds(duration.count()));
    });
  }

  std::chrono::nanoseconds mainWaits() const { return std::chrono::nanoseconds(m_mainWaits.load()); }
  std::chrono::nanoseconds workerWaits() const { return std::chrono::nanoseconds(m_workerWaits.load()); }
  unsigned mainWaitCount() const { return m_mainWaitCount.load(); }
  unsigned workerWaitCount() const { return m_workerWaitCount.load(); }

 private:
  std::atomic<std::int64_t> m_mainWaits{0};
  std::atomic<std::int64_t> m_workerWaits{0};
  std::atomic<unsigned> m_mainWaitCount{0};
  std::atomic<unsigned> m_workerWaitCount{0};
};

// The moment the worker stores its result word. The wizard reads the word on
// a timer five times a second, so the road sits idle for up to a fifth of a
// second after the worker has finished: a wait, not the road's work. A thread
// of its own looks at the word every millisecond, as its store has no hook.
class ResultWatch {
 public:
  ~ResultWatch() { stop(); }

  // Follows `word` from now on, until stop(); it must live as long.
  void follow(int& word) {
    m_thread = std::thread([this, &word] {
      while (!m_stop.load()) {
        if (std::atomic_ref<int>(word).load() != 0) {
          m_storedAt = Clock::now();
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  void stop() {
    m_stop.store(true);
    if (m_thread.joinable()) {
      m_thread.join();
    }
  }
  // After stop(): when the word was stored, if it was.
  std::optional<Clock::time_point> storedAt() const { return m_storedAt; }

 private:
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::optional<Clock::time_point> m_storedAt;
};

// The configuration as the application module binds it, to the measured
// engine; the scans' start times are kept in `scans` and the worker's result
// followed by `watch`.
void bind(QV::FirmwareUpdaterConfig& config, MeasuredUpgradeLogic& logic, std::vector<Clock::time_point>& scans,
          ResultWatch& watch) {
  config.connectInNormalMode = [&logic, &scans] {
    scans.push_back(Clock::now());
    return logic.connectInNormalMode();
  };
  config.resetIntoUpdateMode = [&logic] { return logic.resetIntoUpdateMode(); };
  config.connectInUpdateMode = [&logic] { return logic.connectInUpdateMode(); };
  config.hasFirmwareForKeyboard = [&logic] { return logic.hasFirmwareForKeyboard(); };
  config.performUpdate = [&logic, &watch](int& word) {
    const bool started = logic.performUpdate(word);
    if (started) {
      watch.follow(word);
    }
    return started;
  };
  config.getDeviceInfo = [&logic](QV::QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                                  bool& updateAvailable) {
    logic.getDeviceInfo(info, installed, newest, updateAvailable);
  };
  config.isUpdateRunning = [&logic] { return logic.isUpdateRunning(); };
  config.applicationCloseRequest = [&logic] { logic.applicationCloseRequest(); };
}

void line(const std::string& what, std::chrono::nanoseconds time, std::chrono::nanoseconds total) {
  std::printf("  %-48s %7.3f s  %5.1f %%\n", what.c_str(), Seconds(time).count(),
              100.0 * Seconds(time).count() / Seconds(total).count());
}

std::string counted(const char* what, unsigned count) {
  return std::string(what) + " (" + std::to_string(count) + (count == 1 ? " wait)" : " waits)");
}

}  // namespace

int main(int argc, char** argv) {
  unsigned size = 49;
  if (argc == 3 && std::strcmp(argv[1], "--size") == 0) {
    size = unsigned(std::strtoul(argv[2], nullptr, 10));
  } else if (argc != 1) {
    std::fputs("usage: bench-update-road [--size 25|49|61|88]\n", stderr);
    return 2;
  }
  if (simkbd::KeyboardConfig::familyProductId(size) == 0) {
    std::fprintf(stderr, "bench-update-road: no keyboard has %u keys\n", size);
    return 2;
  }

  // The test bed must exist before this process first uses libusb.
  std::string error;
  std::unique_ptr<simkbd::KeyboardHost> host = simkbd::KeyboardHost::create(error);
  if (!host) {
    std::fprintf(stderr, "bench-update-road: %s (run it under umockdev-wrapper)\n", error.c_str());
    return 1;
  }
  simkbd::KeyboardConfig keyboard;
  keyboard.size = size;
  if (host->plug(keyboard) < 0) {
    std::fputs("bench-update-road: the simulated keyboard could not be attached\n", stderr);
    return 1;
  }

  std::ostringstream steps;
  QV::UpdateRoad::Outcome outcome = QV::UpdateRoad::Outcome::Failed;
  std::chrono::nanoseconds total{0}, mainWaits{0}, workerWaits{0}, roadPauses{0}, resultUnread{0};
  unsigned mainWaitCount = 0, workerWaitCount = 0;
  {
    MeasuredUpgradeLogic logic(std::this_thread::get_id());
    QV::FirmwareUpdaterConfig config;
    std::vector<Clock::time_point> scans;
    ResultWatch watch;
    bind(config, logic, scans, watch);
    QV::UpdateRoad road(config, QV::UpdateRoad::Settings{}, steps);
    const auto start = Clock::now();
    outcome = road.run();
    total = Clock::now() - start;
    watch.stop();
    road.quit();
    // The wizard's look that read the word goes on to find the keyboard
    // again at once: the first scan after the store.
    if (const auto storedAt = watch.storedAt()) {
      const auto readAt = std::find_if(scans.begin(), scans.end(), [&](Clock::time_point t) { return t >= *storedAt; });
      if (readAt != scans.end()) {
        resultUnread = *readAt - *storedAt;
      }
    }
    mainWaits = logic.mainWaits();
    workerWaits = logic.workerWaits();
    roadPauses = road.pauses();
    mainWaitCount = logic.mainWaitCount();
    workerWaitCount = logic.workerWaitCount();
  }
  std::cout << steps.str();
  if (outcome != QV::UpdateRoad::Outcome::Updated) {
    std::fputs("bench-update-road: the road did not update the keyboard; no figures\n", stderr);
    return 1;
  }

  const std::chrono::nanoseconds settle = kSettleWait;
  const std::chrono::nanoseconds fixed = mainWaits + workerWaits + settle + roadPauses + resultUnread;
  std::printf("bench-update-road: full road, %u keys: %.3f s\n", size, Seconds(total).count());
  line(counted("pause before update mode", mainWaitCount), mainWaits, total);
  line(counted("status polls and manifestation", workerWaitCount), workerWaits, total);
  line("settling after the download (worker)", settle, total);
  line("the wizard's pauses (repaint, before writing)", roadPauses, total);
  line("worker's result unread until the next poll", resultUnread, total);
  line("fixed waits", fixed, total);
  line("remainder: the road's own work", total - fixed, total);
  return 0;
}
