// bench-dfu-block-phase [--rounds N]
//
// The block phase of a DFU download as the product runs it, beside dfu-util's,
// against the same simulated keyboard in one run. For each block size (256
// and 4096 bytes) every round downloads the 49-key main image once with each
// host, each a child process of its own:
//
//   road      the update-road program: the application module with its
//             engine, whose worker downloads while the main thread polls the
//             result word, after the keyboard was switched into update mode
//   window    the updater's window application under a virtual display of
//             its own, its UPDATE button clicked with xdotool: the worker
//             downloads beside the GNUstep run loop, the wizard's timers and
//             its turning wheel
//   dfu-util  the Debian program, the reference
//   isolated  DFUDevice::writeImage called alone (bench-dfu-download)
//
// Each download goes to a freshly plugged keyboard, alone on the bus so that
// the road and the window find no other: in normal mode for the road and the
// window, which switch it themselves, in update mode for the others. The time
// of a download is the keyboard's own, from its report: from the first DNLOAD
// to the zero-length end of data. Rounds rotate which host goes first, and
// the medians are compared with dfu-util's. The window line is left out when
// the machine has no Xvfb or xdotool.
//
// It serves the keyboard itself through umockdev, so it runs under
// umockdev-wrapper (bench/run-simulated does that).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FirmwareImages.h"
#include "GuiSession.h"
#include "KeyboardHost.h"
#include "Sha256.h"
#include "TemporaryFolder.h"
#include "UpdateWizardMainWidget.h"
#include "WizardLook.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::GuiSession;

constexpr auto kRunLimit = 120s;
constexpr auto kPageLimit = 90s;
// Each download takes a keyboard of its own, and each keyboard a root-hub
// port of its own: four hosts, two block sizes and these rounds stay within
// the bus's 127.
constexpr unsigned kMostRounds = 15;

constexpr const char* kWindowName = "ORVEL TARSIN VANTA FIRMWARE UPDATER";

// The updater's window on a virtual display of its own, started afresh for
// every download.
class WindowDriver {
 public:
  static bool available() {
    return QV::TestSupport::onPath("Xvfb") && QV::TestSupport::onPath("xdotool");
  }

  explicit WindowDriver(const fs::path& folder) : m_session(options()), m_folder(folder) {
    if (!m_session.ready()) {
      std::fprintf(stderr, "bench-dfu-block-phase: no virtual display: %s\n", m_session.problem().c_str());
      return;
    }
    // GNUstep builds its list of services in a child process when it finds
    // none; the list is made beforehand, as a desktop has it, so that the
    // application's start is timed as a desktop sees it.
    auto services = m_session.start({"make_services"}, {}, m_folder / "services.log");
    services->waitForExit(kRunLimit);
  }

  bool ready() const { return m_session.ready(); }

  // One update through the window, from the start of the application to its
  // done page; false (with what the application said) when it went wrong.
  bool update(std::string& output) {
    std::unique_ptr<ChildProcess> app =
        m_session.start({UPDATER_APP},
                        {{"QV_WIZARD_TRACE", "1"}},
                        m_folder / "window.log");
    const bool done = walk(*app);
    app->stop(10s);
    output = app->output();
    return done;
  }

 private:
  static GuiSession::Options options() {
    GuiSession::Options result;
    result.defaults = {{"NSMenuInterfaceStyle", "NSWindows95InterfaceStyle"}};
    return result;
  }

  static std::string latestPage(const ChildProcess& app) {
    const std::string output = app.output();
    const std::size_t at = output.rfind("wizard: ");
    if (at == std::string::npos) return {};
    const std::size_t end = output.find('\n', at);
    return end == std::string::npos ? std::string() : output.substr(at + 8, end - at - 8);
  }

  bool waitForPage(const ChildProcess& app, const std::string& page) const {
    return QV::TestSupport::waitUntil([&] { return latestPage(app) == page; }, kPageLimit, 50ms);
  }

  bool walk(const ChildProcess& app) {
    const std::string window = m_session.waitForWindow(kWindowName, kRunLimit);
    if (window.empty() || !waitForPage(app, "update-available")) return false;
    // The action button, in the content at the bottom of the X window, under
    // the title and menu bars GNUstep draws itself.
    const auto geometry = m_session.xdotool({"getwindowgeometry", window});
    int width = 0, height = 0;
    const std::size_t at = geometry ? geometry->find("Geometry: ") : std::string::npos;
    if (at == std::string::npos || std::sscanf(geometry->c_str() + at, "Geometry: %dx%d", &width, &height) != 2) {
      return false;
    }
    namespace Look = QV::WizardLook;
    const int x = QV::UpdateWizardMainWidget::kWidth - Look::kMargin - Look::kButtonWidth / 2 - Look::kButtonWidth -
                  Look::kButtonGap;
    const int y = height - Look::kButtonPanelHeight / 2;
    // Press and release apart: a release that follows at once is lost on a
    // window's first click.
    if (!m_session.xdotool({"mousemove", "--window", window, std::to_string(x), std::to_string(y), "sleep", "0.2",
                            "mousedown", "1", "sleep", "0.1", "mouseup", "1"})) {
      return false;
    }
    return waitForPage(app, "done");
  }

  GuiSession m_session;
  fs::path m_folder;
};

struct Host {
  const char* name;
  bool startsInUpdateMode;
  // Runs one download to the keyboard with `serial`; false, with the host's
  // output, when it failed.
  std::function<bool(const std::string& serial, std::string& output)> run;
};

bool runChild(const std::vector<std::string>& words, const fs::path& log, std::string& output) {
  const QV::TestSupport::CommandOutcome outcome = QV::TestSupport::runCommand(words, log, kRunLimit);
  output = outcome.output;
  return outcome.exitCode == 0;
}

// One download by `host` to a keyboard plugged for it alone; the keyboard's
// time for it, first DNLOAD to end of data, or nothing when the download
// failed or the keyboard did not receive the image whole.
std::optional<double> download(simkbd::KeyboardHost& keyboards, const Host& host, std::uint16_t transferSize,
                               const std::string& sha256) {
  simkbd::KeyboardConfig config;
  config.startInUpdateMode = host.startsInUpdateMode;
  config.transferSize = transferSize;
  config.serial = "BENCH" + std::to_string(transferSize);
  const int id = keyboards.plug(config);
  if (id < 0) {
    std::fputs("bench-dfu-block-phase: the simulated keyboard could not be attached\n", stderr);
    return std::nullopt;
  }
  std::string output;
  const bool ran = host.run(config.serial, output);
  keyboards.unplug(id);
  if (!ran) {
    std::fprintf(stderr, "bench-dfu-block-phase: the %s download failed:\n%s\n", host.name, output.c_str());
    return std::nullopt;
  }
  const nlohmann::json report = keyboards.report(id);
  const nlohmann::json& times = report["times"];
  const nlohmann::json& received = report["mainImage"]["sha256"];
  if (!received.is_string() || received.get<std::string>() != sha256 || !times["firstDnloadMs"].is_number() ||
      !times["endOfDataMs"].is_number()) {
    std::fprintf(stderr, "bench-dfu-block-phase: the %s download did not deliver the image\n", host.name);
    return std::nullopt;
  }
  return times["endOfDataMs"].get<double>() - times["firstDnloadMs"].get<double>();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned rounds = 9;
  if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
    rounds = unsigned(std::strtoul(argv[2], nullptr, 10));
  } else if (argc != 1) {
    rounds = 0;
  }
  if (rounds == 0 || rounds > kMostRounds) {
    std::fprintf(stderr, "usage: bench-dfu-block-phase [--rounds 1..%u]\n", kMostRounds);
    return 2;
  }
  const std::string isolated = (fs::path(argv[0]).parent_path() / "bench-dfu-download").string();

  // The test bed must exist before any child first uses libusb.
  std::string error;
  std::unique_ptr<simkbd::KeyboardHost> keyboards = simkbd::KeyboardHost::create(error);
  if (!keyboards) {
    std::fprintf(stderr, "bench-dfu-block-phase: %s (run it under umockdev-wrapper)\n", error.c_str());
    return 1;
  }
  const QV::TestSupport::TemporaryFolder temporary("qv-dfu-bench");
  if (temporary.path().empty()) {
    std::fputs("bench-dfu-block-phase: no temporary folder\n", stderr);
    return 1;
  }
  // The road sees only the keyboards served here: its single-instance claim
  // is kept from the machine's, as a simulated keyboard keeps its command's,
  // so that an updater running on the machine does not refuse it.
  setenv("QV_INSTANCE_LOCK_DIR", temporary.path().c_str(), 1);
  // Every host downloads the image the road and the window carry.
  const std::span<const std::uint8_t> image(QV::FW::Keyboard49Main);
  const fs::path imagePath = temporary.path() / "image.bin";
  std::ofstream(imagePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  const std::string sha256 = simkbd::Sha256::hex(image);
  const fs::path log = temporary.path() / "download.log";

  std::unique_ptr<WindowDriver> window;
  if (WindowDriver::available()) {
    window = std::make_unique<WindowDriver>(temporary.path());
    if (!window->ready()) return 1;
  } else {
    std::fputs("bench-dfu-block-phase: no Xvfb or xdotool; the window line is left out\n", stderr);
  }

  std::vector<Host> hosts;
  hosts.push_back({"road", false, [&](const std::string&, std::string& output) {
                     return runChild({UPDATE_ROAD}, log, output);
                   }});
  if (window) {
    hosts.push_back({"window", false, [&](const std::string&, std::string& output) {
                       return window->update(output);
                     }});
  }
  const std::size_t reference = hosts.size();
  hosts.push_back({"dfu-util", true, [&](const std::string& serial, std::string& output) {
                     return runChild({"dfu-util", "-d", "17cc:1352", "-S", serial, "-D", imagePath.string()}, log,
                                     output);
                   }});
  hosts.push_back({"isolated", true, [&](const std::string& serial, std::string& output) {
                     return runChild({isolated, serial, imagePath.string()}, log, output);
                   }});

  std::printf("bench-dfu-block-phase: %zu-byte image, %u rounds, keyboard-side block phase, "
              "first DNLOAD to end of data\n",
              image.size(), rounds);
  std::printf("  %-6s %-9s %10s %10s %10s %12s\n", "block", "host", "median ms", "min ms", "us/block", "/ dfu-util");
  std::fflush(stdout);
  for (const std::uint16_t transferSize : {std::uint16_t(256), std::uint16_t(4096)}) {
    std::vector<std::vector<double>> times(hosts.size());
    for (unsigned round = 0; round < rounds; ++round) {
      for (std::size_t turn = 0; turn < hosts.size(); ++turn) {
        const std::size_t host = (round + turn) % hosts.size();
        const std::optional<double> ms = download(*keyboards, hosts[host], transferSize, sha256);
        if (!ms) return 1;
        times[host].push_back(*ms);
      }
    }
    const double blocks = double((image.size() + transferSize - 1) / transferSize);
    const double referenceMedian = median(times[reference]);
    for (std::size_t host = 0; host < hosts.size(); ++host) {
      const double hostMedian = median(times[host]);
      std::printf("  %-6u %-9s %10.1f %10.1f %10.1f %12.3f\n", unsigned(transferSize), hosts[host].name, hostMedian,
                  *std::min_element(times[host].begin(), times[host].end()), 1000 * hostMedian / blocks,
                  hostMedian / referenceMedian);
    }
    std::fflush(stdout);
  }
  return 0;
}
