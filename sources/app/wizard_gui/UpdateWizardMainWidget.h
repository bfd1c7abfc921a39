#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <QV/QTK/Bar.h>
#include <QV/QTK/Button.h>
#include <QV/QTK/Label.h>
#include <QV/QTK/MultilineLabel.h>
#include <QV/QTK/Widget.h>

#include "FirmwareUpdaterConfig.h"
#include "UpdateWizardFlow.h"

namespace QV {

// The updater's window content: the title panel with the About button, the
// firmware panel (newest and installed firmware, serial number, a picture of
// the keyboard's size), the information panel (icon, message, turning wheel)
// and the button panel (the page's action and QUIT or FINISH), over the
// wizard's steps. The About overlay lies over its middle when asked for;
// the buttons beside it stay in use.
//
// Each page change is written as one line "wizard: <page>[ <step>][ refused]"
// to the standard error stream when QV_WIZARD_TRACE is set in the
// environment, for tests and for support.
//
// Thread: the main thread.
class UpdateWizardMainWidget : public QTK::Widget, private UpdateWizardFlow::Host {
 public:
  // The window's content size.
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 440;

  // `quit` is what QUIT and FINISH ask for.
  UpdateWizardMainWidget(FirmwareUpdaterConfig& config, std::function<void()> quit);
  ~UpdateWizardMainWidget() override;

  // Builds the widgets; call once the widget is in a pane's tree.
  void build();
  // Looks for a keyboard and shows the first page.
  void start();

  // Shows or hides the About overlay.
  void showAbout(bool visible);
  bool isAboutShown() const;

  const UpdateWizardFlow& flow() const { return m_flow; }
  // The quit question's side of the writing about to start.
  bool writingDue() const { return m_flow.writingDue(); }
  void holdWriting(bool held) { m_flow.holdWriting(held); }
  // `ended` runs whenever the wizard leaves its updating pages, on the page
  // that says how the update ended.
  void setUpdateEnded(std::function<void()> ended) { m_updateEnded = std::move(ended); }
  // What the labels show now, for tests.
  std::string messageText() const;
  std::string installedText() const;
  std::string newestText() const;
  std::string serialText() const;

 protected:
  void onResize() override;
  void onTimer(int id) override;

 private:
  void startFlowTimer(int ticks, int id) override;
  void pageChanged() override;
  void quitRequested() override;

  // Shows the flow's page in the widgets.
  void refresh();
  void layOut();
  void buildAbout();
  void turnWheel();

  UpdateWizardFlow m_flow;
  std::function<void()> m_quit;
  std::function<void()> m_updateEnded;
  bool m_updating = false;
  bool m_trace = false;
  int m_wheelStep = 0;

  std::shared_ptr<QTK::Bar> m_titlePanel, m_firmwarePanel, m_infoPanel, m_buttonPanel;
  std::shared_ptr<QTK::Label> m_headline;
  std::shared_ptr<QTK::Button> m_aboutButton;
  std::shared_ptr<QTK::Label> m_newestCaption, m_newest, m_installedCaption, m_installed, m_serialCaption, m_serial;
  std::shared_ptr<QTK::Bar> m_keyboardPicture, m_icon, m_wheel;
  std::shared_ptr<QTK::MultilineLabel> m_message;
  std::shared_ptr<QTK::Button> m_actionButton, m_quitButton;
  std::shared_ptr<QTK::Bar> m_about;
};

}  // namespace QV
