#include "UpdaterWindow.h"

#include <QV/UIA/Application.h>
#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>

#include "UpdateWizardMainWidget.h"

namespace QV {

bool UpdaterWindow::onEvent(unsigned code, UIA::EventData* data) {
  if (code == UIA::kEventCloseRequest && data != nullptr) {
    // The window stays until the application ends; the application decides
    // whether it ends now.
    static_cast<UIA::CloseRequestEventData*>(data)->allow = false;
    if (UIA::Application* application = UIA::Application::getApplication()) {
      UIA::CommandEventData command;
      command.commandId = UIA::kCommandQuit;
      application->sendEvent(UIA::kEventCommand, &command);
    }
    return true;
  }
  if (code == UIA::kEventResizeProposal && data != nullptr) {
    // The page has one size: smaller, its panels would overlap; larger, it
    // would stand in a margin of nothing.
    auto* limits = static_cast<UIA::ResizeProposalEventData*>(data);
    limits->limits = UIA::ResizeProposalEventData::kMinimumValid | UIA::ResizeProposalEventData::kMaximumValid;
    limits->minWidth = limits->maxWidth = UpdateWizardMainWidget::kWidth;
    limits->minHeight = limits->maxHeight = UpdateWizardMainWidget::kHeight;
    return true;
  }
  return QTK::Window<UIA::StandaloneWindow>::onEvent(code, data);
}

void UpdaterWindow::present(UIA::PaintEventData& paint) {
  if (paint.deviceContext != nullptr) {
    paint.deviceContext->updateFromPicture(getPicture(), false);
  }
}

}  // namespace QV
