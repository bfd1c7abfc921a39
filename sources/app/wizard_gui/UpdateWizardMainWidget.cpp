#include "UpdateWizardMainWidget.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QV/QDV2/USBDeviceDB.h>
#include <QV/QTK/Pane.h>
#include <QV/QTK/Resources.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Picture.h>

#include "UpdaterTexts.h"
#include "WizardLook.h"
#include "ZARNUpdaterUpgradeLogic.h"

namespace QV {

namespace {

// The wheel's own timer, apart from the steps' timers.
constexpr int kWheelTimer = 100;

std::shared_ptr<QTK::Label> makeLabel(const WizardLook::tText& look) {
  auto label = std::make_shared<QTK::Label>();
  label->setFont(WizardLook::font(look));
  label->setColour(look.colour);
  return label;
}

std::shared_ptr<QTK::Bar> makeBar(std::uint32_t colour, const char* picture = nullptr) {
  auto bar = std::make_shared<QTK::Bar>();
  bar->setColour(colour);
  if (picture != nullptr) {
    bar->setPicture(QTK::Resources::getPicture(picture));
  }
  return bar;
}

std::shared_ptr<QTK::Button> makeButton(const WizardLook::tButton& look) {
  auto button = std::make_shared<QTK::Button>();
  button->setFont(WizardLook::font(look.text));
  button->setLook(QTK::ButtonImpl::eNormal, look.normal);
  button->setLook(QTK::ButtonImpl::eHover, look.hover);
  button->setLook(QTK::ButtonImpl::ePressed, look.pressed);
  button->setLook(QTK::ButtonImpl::eDisabled, look.disabled);
  return button;
}

// The picture of the keyboard's size; none when no keyboard is known.
const char* keyboardPicture(std::uint16_t productId) {
  switch (productId & QDV2::USBDeviceDB::kFamilyMask) {
    case QDV2::USBDeviceDB::kKeyboard25ProductId:
      return "Keyboard25.png";
    case QDV2::USBDeviceDB::kKeyboard49ProductId:
      return "Keyboard49.png";
    case QDV2::USBDeviceDB::kKeyboard61ProductId:
      return "Keyboard61.png";
    case QDV2::USBDeviceDB::kKeyboard88ProductId:
      return "Keyboard88.png";
    default:
      return nullptr;
  }
}

const char* pageIcon(const UpdateWizardFlow& flow) {
  if (flow.refused()) {
    return "IconWarning.png";
  }
  switch (flow.state()) {
    case UpdateWizardFlow::eNoDevice:
    case UpdateWizardFlow::eAskUpdateMode:
      return "IconWarning.png";
    case UpdateWizardFlow::eFailed:
      return "IconError.png";
    case UpdateWizardFlow::eDone:
    case UpdateWizardFlow::eUpToDate:
      return "IconDone.png";
    default:
      return "IconInfo.png";
  }
}

const char* stepName(UpdateWizardFlow::eStep step) {
  switch (step) {
    case UpdateWizardFlow::eStepSwitching:
      return " switching";
    case UpdateWizardFlow::eStepWriting:
      return " writing";
    case UpdateWizardFlow::eStepReconnecting:
      return " reconnecting";
    case UpdateWizardFlow::eStepNone:
      break;
  }
  return "";
}

std::string orDash(const std::string& text) {
  return text.empty() ? std::string("-") : text;
}

}  // namespace

UpdateWizardMainWidget::UpdateWizardMainWidget(FirmwareUpdaterConfig& config, std::function<void()> quit)
    : m_flow(config, *this), m_quit(std::move(quit)), m_trace(std::getenv("QV_WIZARD_TRACE") != nullptr) {}

UpdateWizardMainWidget::~UpdateWizardMainWidget() = default;

void UpdateWizardMainWidget::build() {
  using namespace WizardLook;
  m_titlePanel = makeBar(kTitleBackground);
  m_headline = makeLabel(kHeadline);
  m_headline->setText(UpdaterTexts::tr(UpdaterTexts::kApplicationTitle));
  m_aboutButton = makeButton(kSecondaryButton);
  m_aboutButton->setText(UpdaterTexts::tr("ABOUT"));
  m_aboutButton->clicked().connect([this](const QTK::ButtonImpl::tSignalData&) { showAbout(true); });
  m_titlePanel->addChild(m_headline);
  m_titlePanel->addChild(m_aboutButton);

  m_firmwarePanel = makeBar(kFirmwareBackground);
  m_newestCaption = makeLabel(kCaption);
  m_newestCaption->setText(UpdaterTexts::tr("Newest firmware"));
  m_newest = makeLabel(kValue);
  m_installedCaption = makeLabel(kCaption);
  m_installedCaption->setText(UpdaterTexts::tr("Installed firmware"));
  m_installed = makeLabel(kValue);
  m_serialCaption = makeLabel(kCaption);
  m_serialCaption->setText(UpdaterTexts::tr("Serial number"));
  m_serial = makeLabel(kValue);
  m_keyboardPicture = makeBar(0);
  for (const auto& child : {m_newestCaption, m_newest, m_installedCaption, m_installed, m_serialCaption, m_serial}) {
    m_firmwarePanel->addChild(child);
  }
  m_firmwarePanel->addChild(m_keyboardPicture);

  m_infoPanel = makeBar(kInfoBackground);
  m_icon = makeBar(0);
  m_message = std::make_shared<QTK::MultilineLabel>();
  m_message->setFont(font(kMessage));
  m_message->setColour(kMessage.colour);
  m_message->setLineSpacing(kMessageLineSpacing);
  m_wheel = makeBar(0);
  m_infoPanel->addChild(m_icon);
  m_infoPanel->addChild(m_message);
  m_infoPanel->addChild(m_wheel);

  m_buttonPanel = makeBar(kButtonPanelBackground);
  m_actionButton = makeButton(kPrimaryButton);
  m_actionButton->clicked().connect([this](const QTK::ButtonImpl::tSignalData&) { m_flow.actionClicked(); });
  m_quitButton = makeButton(kSecondaryButton);
  m_quitButton->clicked().connect([this](const QTK::ButtonImpl::tSignalData&) { m_flow.quitClicked(); });
  m_buttonPanel->addChild(m_actionButton);
  m_buttonPanel->addChild(m_quitButton);

  for (const auto& panel : {m_titlePanel, m_firmwarePanel, m_infoPanel, m_buttonPanel}) {
    addChild(panel);
  }
  layOut();
  refresh();
}

void UpdateWizardMainWidget::buildAbout() {
  using namespace WizardLook;
  // A frame of one colour around the overlay's own background sets it
  // apart from the white information panel under it.
  m_about = makeBar(kAboutFrame);
  auto inside = makeBar(kAboutBackground);
  inside->setBounds({kAboutFrameWidth, kAboutFrameWidth, kAboutWidth - kAboutFrameWidth,
                     kAboutHeight - kAboutFrameWidth});
  m_about->addChild(inside);
  auto logo = makeBar(0, "Logo.png");
  logo->setBounds({kAboutWidth / 2 - 48, 28, kAboutWidth / 2 + 48, 124});
  m_about->addChild(logo);

  std::string version;
  UIA::AppModule::getVersionInfo(version);
  const std::string lines[] = {
      UpdaterTexts::tr(UpdaterTexts::kApplicationTitle),
      UpdaterTexts::fill("%1% %2%", UpdaterTexts::tr(UpdaterTexts::kApplicationName), version),
      UpdaterTexts::tr("Copyright 2026 ORVEL TARSIN. All rights reserved."),
      UpdaterTexts::fill("Firmware revision %1%",
                         std::to_string(ZARNUpdaterUpgradeLogic::newestMainFirmwareVersion)),
  };
  int top = 138;
  bool first = true;
  for (const std::string& line : lines) {
    auto label = makeLabel(first ? kAboutTitle : kAboutLine);
    label->setText(line);
    label->setAlignment(UIA::Font::eAlignCenter);
    const int height = first ? 30 : 24;
    label->setBounds({16, top, kAboutWidth - 16, top + height});
    m_about->addChild(label);
    top += height + 2;
    first = false;
  }
  auto contributors = std::make_shared<QTK::MultilineLabel>();
  contributors->setFont(font(kAboutSmall));
  contributors->setColour(kAboutSmall.colour);
  contributors->setAlignment(UIA::Font::eAlignCenter | UIA::Font::eAlignTop);
  contributors->setText(UpdaterTexts::tr(
      "Contributors: the ZRV Firmware Updater team. Pictures and the program that draws them are our own; "
      "text is set in DejaVu Sans."));
  contributors->setBounds({40, top + 8, kAboutWidth - 40, top + 56});
  m_about->addChild(contributors);

  auto close = makeButton(kPrimaryButton);
  close->setText(UpdaterTexts::tr("CLOSE"));
  close->setBounds({kAboutWidth / 2 - kButtonWidth / 2, kAboutHeight - 24 - kButtonHeight,
                    kAboutWidth / 2 + kButtonWidth / 2, kAboutHeight - 24});
  close->clicked().connect([this](const QTK::ButtonImpl::tSignalData&) { showAbout(false); });
  m_about->addChild(close);
}

void UpdateWizardMainWidget::start() {
  m_flow.start();
}

void UpdateWizardMainWidget::showAbout(bool visible) {
  QTK::Pane* pane = getPane();
  if (pane == nullptr || visible == isAboutShown()) {
    return;
  }
  // The overlay is made when it is first shown: its picture and fonts are
  // not needed for the first page.
  if (!m_about) {
    buildAbout();
  }
  if (visible) {
    const int left = (getWidth() - WizardLook::kAboutWidth) / 2;
    const int top = (getHeight() - WizardLook::kAboutHeight) / 2;
    m_about->setBounds({left, top, left + WizardLook::kAboutWidth, top + WizardLook::kAboutHeight});
    pane->setOverlay(m_about);
  } else {
    pane->setOverlay(nullptr);
    invalidate();
  }
  if (m_trace) {
    std::fprintf(stderr, "wizard: about %s\n", visible ? "shown" : "hidden");
  }
}

bool UpdateWizardMainWidget::isAboutShown() const {
  QTK::Pane* pane = getPane();
  return pane != nullptr && m_about && pane->getOverlay() == m_about.get();
}

std::string UpdateWizardMainWidget::messageText() const {
  return m_message ? m_message->getText() : std::string();
}

std::string UpdateWizardMainWidget::installedText() const {
  return m_installed ? m_installed->getText() : std::string();
}

std::string UpdateWizardMainWidget::newestText() const {
  return m_newest ? m_newest->getText() : std::string();
}

std::string UpdateWizardMainWidget::serialText() const {
  return m_serial ? m_serial->getText() : std::string();
}

void UpdateWizardMainWidget::onResize() {
  layOut();
}

void UpdateWizardMainWidget::layOut() {
  if (!m_titlePanel) {
    return;
  }
  using namespace WizardLook;
  const int width = getWidth();
  const int height = getHeight();
  const int infoTop = kTitleHeight + kFirmwareHeight;
  const int buttonsTop = height - kButtonPanelHeight;
  m_titlePanel->setBounds({0, 0, width, kTitleHeight});
  m_firmwarePanel->setBounds({0, kTitleHeight, width, infoTop});
  m_infoPanel->setBounds({0, infoTop, width, buttonsTop});
  m_buttonPanel->setBounds({0, buttonsTop, width, height});

  const int buttonTop = (kTitleHeight - kButtonHeight) / 2;
  m_aboutButton->setBounds({width - kMargin - kButtonWidth, buttonTop, width - kMargin, buttonTop + kButtonHeight});
  m_headline->setBounds({kMargin, 0, width - 2 * kMargin - kButtonWidth, kTitleHeight});

  // Three caption and value pairs on the left, the keyboard on the right.
  int top = 18;
  for (const auto& [caption, value] : {std::pair{m_newestCaption, m_newest}, std::pair{m_installedCaption, m_installed},
                                      std::pair{m_serialCaption, m_serial}}) {
    caption->setBounds({kMargin, top, kMargin + kColumnWidth, top + 18});
    value->setBounds({kMargin, top + 18, kMargin + kColumnWidth, top + 42});
    top += 54;
  }
  const int pictureLeft = width - kMargin - kKeyboardWidth;
  const int pictureTop = (kFirmwareHeight - kKeyboardHeight) / 2;
  m_keyboardPicture->setBounds({pictureLeft, pictureTop, pictureLeft + kKeyboardWidth, pictureTop + kKeyboardHeight});

  const int infoHeight = buttonsTop - infoTop;
  const int iconTop = (infoHeight - kIconSize) / 2;
  m_icon->setBounds({kMargin, iconTop, kMargin + kIconSize, iconTop + kIconSize});
  const int wheelLeft = width - kMargin - kWheelSize;
  const int wheelTop = (infoHeight - kWheelSize) / 2;
  m_wheel->setBounds({wheelLeft, wheelTop, wheelLeft + kWheelSize, wheelTop + kWheelSize});
  m_message->setBounds({kMargin + kIconSize + 20, 16, wheelLeft - 20, infoHeight - 12});

  const int rowTop = (kButtonPanelHeight - kButtonHeight) / 2;
  const int quitLeft = width - kMargin - kButtonWidth;
  m_quitButton->setBounds({quitLeft, rowTop, quitLeft + kButtonWidth, rowTop + kButtonHeight});
  const int actionLeft = quitLeft - kButtonGap - kButtonWidth;
  m_actionButton->setBounds({actionLeft, rowTop, actionLeft + kButtonWidth, rowTop + kButtonHeight});
}

void UpdateWizardMainWidget::onTimer(int id) {
  if (id == kWheelTimer) {
    turnWheel();
    return;
  }
  m_flow.timerFired(id);
}

void UpdateWizardMainWidget::turnWheel() {
  if (!m_flow.busy()) {
    m_wheel->setPicture(nullptr);
    return;
  }
  m_wheelStep = (m_wheelStep + 1) % WizardLook::kWheelSteps;
  char name[16];
  std::snprintf(name, sizeof name, "Wheel%02d.png", m_wheelStep);
  m_wheel->setPicture(QTK::Resources::getPicture(name));
  QTK::Widget::startTimer(WizardLook::kWheelTicks, kWheelTimer);
}

void UpdateWizardMainWidget::startFlowTimer(int ticks, int id) {
  QTK::Widget::startTimer(ticks, id);
}

void UpdateWizardMainWidget::pageChanged() {
  if (m_trace) {
    std::fprintf(stderr, "wizard: %s%s%s\n", UpdateWizardFlow::stateName(m_flow.state()), stepName(m_flow.step()),
                 m_flow.refused() ? " refused" : "");
  }
  refresh();
  const bool wasUpdating = std::exchange(m_updating, m_flow.busy());
  if (wasUpdating && !m_updating && m_updateEnded) {
    m_updateEnded();
  }
}

void UpdateWizardMainWidget::refresh() {
  if (!m_message) {
    return;
  }
  const QDV2::USBDeviceInfo& info = m_flow.deviceInfo();
  const bool known = info.productId != 0;
  m_newest->setText(orDash(m_flow.newest()));
  m_installed->setText(known ? orDash(m_flow.installed()) : std::string("-"));
  m_serial->setText(known ? UpdaterTexts::fromDevice(info.serialNumber) : std::string("-"));
  const char* picture = known ? keyboardPicture(info.productId) : nullptr;
  m_keyboardPicture->setPicture(picture ? QTK::Resources::getPicture(picture) : nullptr);

  m_message->setText(UpdaterTexts::pageMessage(m_flow));
  m_icon->setPicture(QTK::Resources::getPicture(pageIcon(m_flow)));

  const UpdateWizardFlow::eAction action = m_flow.action();
  m_actionButton->setText(UpdaterTexts::actionCaption(action));
  m_actionButton->setEnabled(action != UpdateWizardFlow::eActionNone);
  m_quitButton->setText(UpdaterTexts::quitCaption(m_flow.state()));
  m_quitButton->setEnabled(!m_flow.busy());

  if (m_flow.busy()) {
    if (!m_wheel->getPicture()) {
      m_wheelStep = WizardLook::kWheelSteps - 1;
      turnWheel();
    }
  } else {
    m_wheel->setPicture(nullptr);
    QTK::Widget::stopTimer(kWheelTimer);
  }
}

void UpdateWizardMainWidget::quitRequested() {
  if (m_quit) {
    m_quit();
  }
}

}  // namespace QV
