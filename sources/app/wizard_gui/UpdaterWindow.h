#pragma once

#include <QV/QTK/Window.h>
#include <QV/UIA/StandaloneWindow.h>

namespace QV {

// The updater's one window: the toolkit window whose picture is shown in the
// platform's paint, and whose close button asks the application to quit
// rather than closing the window on its own, so that the quit question is
// asked during an update. It keeps the size of the wizard's page.
//
// Thread: the main thread.
class UpdaterWindow : public QTK::Window<UIA::StandaloneWindow> {
 public:
  bool onEvent(unsigned code, UIA::EventData* data) override;

 protected:
  void present(UIA::PaintEventData& paint) override;
};

}  // namespace QV
