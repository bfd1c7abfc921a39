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

// A keyboard that needs an update and never finishes switching.
void bindEngine(QV::FirmwareUpdaterConfig& config) {
  config.connectInNormalMode = [] { return true; };
  config.resetIntoUpdateMode = [] { return false; };
  config.connectInUpdateMode = [] { return false; };
  config.performUpdate = [](int&) { return false; };
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
  for (auto _ : state) {
    window.pane.invalidateAll();
    QV::GP::Region painted;
    window.pane.paintInvalid(window.picture, painted);
    benchmark::DoNotOptimize(window.picture);
  }
}
BENCHMARK(wholeWindow)->Unit(benchmark::kMillisecond);

// The wheel turns on the updating page; its step repaints its own 32 x 32
// square over the information panel.
void wheelStep(benchmark::State& state) {
  Window window;
  namespace Look = QV::WizardLook;
  const int infoTop = Look::kTitleHeight + Look::kFirmwareHeight;
  const int infoHeight = QV::UpdateWizardMainWidget::kHeight - Look::kButtonPanelHeight - infoTop;
  const int top = infoTop + (infoHeight - Look::kWheelSize) / 2;
  const int left = QV::UpdateWizardMainWidget::kWidth - Look::kMargin - Look::kWheelSize;
  const QV::GP::Rect wheel{left, top, left + Look::kWheelSize, top + Look::kWheelSize};
  for (auto _ : state) {
    window.pane.invalidateRect(wheel);
    QV::GP::Region painted;
    window.pane.paintInvalid(window.picture, painted);
    benchmark::DoNotOptimize(window.picture);
  }
}
BENCHMARK(wheelStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
