// Repainting the updater's window content in software: the whole window on
// the update-available page, and one step of the turning wheel. No display
// is needed; the pictures and fonts come from the built application folder.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include <QV/GP/Region.h>
#include <QV/QTK/Lib.h>
#include <QV/QTK/Pane.h>
#include <QV/QTK/Resources.h>
#include <QV/UIA/Picture.h>

#include "FirmwareUpdaterConfig.h"
#include "UpdateWizardMainWidget.h"
#include "WizardLook.h"

namespace {

// A keyboard that needs an update, switches at once and is then written to
// without end, so that the wheel of the updating page keeps turning.
void bindEngine(QV::FirmwareUpdaterConfig& config) {
  config.connectInNormalMode = [] { return true; };
  config.resetIntoUpdateMode = [] { return true; };
  config.connectInUpdateMode = [] { return true; };
  config.hasFirmwareForKeyboard = [] { return true; };
  // The result stays 0: the write is never done.
  config.performUpdate = [](int&) { return true; };
  config.getDeviceInfo = [](QV::QDV2::USBDeviceInfo& info, std::string& installed, std::string& newest,
                            bool& available) {
    info.productId = 0x1350;
    info.version = 68;
    info.serialNumber = "SIMKBD0001";
    installed = "68";
    newest = "69";
    available = true;
  };
}

// Pixels in the bounds of what was repainted, reported beside the times to
// show what each repaint covered.
long long boundsArea(const QV::GP::Region& painted) {
  const QV::GP::Rect& bounds = painted.bounds();
  return static_cast<long long>(bounds.right - bounds.left) * (bounds.bottom - bounds.top);
}

struct Window {
  Window() {
    QV::QTK::Lib::init();
    const std::filesystem::path bundle = UPDATER_BUNDLE;
    QV::QTK::Resources::setBundleFolders(bundle, bundle / "Resources");
    bindEngine(config);
    wizard = std::make_shared<QV::UpdateWizardMainWidget>(config, [] {});
    pane.setSize(QV::UpdateWizardMainWidget::kWidth, QV::UpdateWizardMainWidget::kHeight);
    pane.setRoot(wizard);
    wizard->build();
    wizard->start();
    picture.setSize(QV::UpdateWizardMainWidget::kWidth, QV::UpdateWizardMainWidget::kHeight, true);
    QV::GP::Region painted;
    pane.paintInvalid(picture, painted);
  }
  ~Window() { QV::QTK::Lib::deInit(); }

  QV::FirmwareUpdaterConfig config;
  std::shared_ptr<QV::UpdateWizardMainWidget> wizard;
  QV::QTK::Pane pane;
  QV::UIA::Picture picture;
};

void wholeWindow(benchmark::State& state) {
  Window window;
  long long pixels = 0;
  for (auto _ : state) {
    window.pane.invalidateAll();
    QV::GP::Region painted;
    window.pane.paintInvalid(window.picture, painted);
    pixels += boundsArea(painted);
    benchmark::DoNotOptimize(window.picture);
  }
  state.counters["pixels"] = benchmark::Counter(static_cast<double>(pixels), benchmark::Counter::kAvgIterations);
}
BENCHMARK(wholeWindow)->Unit(benchmark::kMillisecond);

// One step of the wheel on the updating page, reached with a click on
// UPDATE: the ticks that turn it to its next picture, and the repaint of
// what that made invalid (its own 32 x 32 square).
void wheelStep(benchmark::State& state) {
  Window window;
  namespace Look = QV::WizardLook;
  const int width = QV::UpdateWizardMainWidget::kWidth;
  const int buttonTop = QV::UpdateWizardMainWidget::kHeight - Look::kButtonPanelHeight +
                        (Look::kButtonPanelHeight - Look::kButtonHeight) / 2;
  const int actionLeft = width - Look::kMargin - 2 * Look::kButtonWidth - Look::kButtonGap;
  const QV::GP::Point update{actionLeft + Look::kButtonWidth / 2, buttonTop + Look::kButtonHeight / 2};
  window.pane.mouseMove(update);
  window.pane.mouseDown(update);
  window.pane.mouseUp(update);
  // Until the keyboard is switched and being written to.
  for (int tick = 0; tick < 10; ++tick) window.pane.tick();
  QV::GP::Region settled;
  window.pane.paintInvalid(window.picture, settled);
  if (!window.wizard->flow().busy()) {
    state.SkipWithError("the updating page was not reached");
    return;
  }
  long long pixels = 0;
  for (auto _ : state) {
    for (int tick = 0; tick < Look::kWheelTicks; ++tick) window.pane.tick();
    QV::GP::Region painted;
    window.pane.paintInvalid(window.picture, painted);
    pixels += boundsArea(painted);
    benchmark::DoNotOptimize(window.picture);
  }
  // Pixels repainted per step, to show that only the wheel's square was.
  state.counters["pixels"] = benchmark::Counter(static_cast<double>(pixels), benchmark::Counter::kAvgIterations);
}
BENCHMARK(wheelStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
