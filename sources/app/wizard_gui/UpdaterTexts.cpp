#include "UpdaterTexts.h"

#include <map>

#include <QV/GP/Format.h>
#include <QV/GP/GetTextDomain.h>
#include <QV/GP/GetTextLoader.h>

namespace QV::UpdaterTexts {

namespace {

GP::GetTextDomain& domain() {
  static GP::GetTextDomain texts([] {
    std::map<std::string, std::string> translations;
    if (GP::GetTextLoader::isLocaleChosen()) {
      GP::GetTextLoader::loadLocaleDomain(translations, "updater", GP::GetTextLoader::s_Locale);
    }
    return translations;
  }());
  return texts;
}

template <typename Apply>
std::string fillOrFallBack(const char* text, Apply apply) {
  try {
    return apply(tr(text).c_str());
  } catch (const boost::io::format_error&) {
  }
  try {
    return apply(text);
  } catch (const boost::io::format_error&) {
    return text;
  }
}

}  // namespace

const std::string& tr(const char* text) {
  return domain().get(text);
}

std::string fill(const char* text, const std::string& first) {
  return fillOrFallBack(text, [&](const char* format) { return GP::DETAIL::BasicFormat(format, first); });
}

std::string fill(const char* text, const std::string& first, const std::string& second) {
  return fillOrFallBack(text, [&](const char* format) {
    return GP::DETAIL::FormatApply<char>::apply(boost::format(format), first, second);
  });
}

std::string fill(const char* text, const std::string& first, int second, const std::string& third) {
  return fillOrFallBack(text, [&](const char* format) {
    return GP::DETAIL::FormatApply<char>::apply(boost::format(format), first, second, third);
  });
}

std::string fromDevice(const std::string& text) {
  if (text.empty()) {
    return "-";
  }
  std::string shown = text;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      c = '?';
    }
  }
  return shown;
}

std::string pageMessage(const UpdateWizardFlow& flow) {
  const std::string name = tr(kKeyboardName);
  switch (flow.state()) {
    case UpdateWizardFlow::eNoDevice:
      return fill("Please connect your %1% and click RESCAN.", name);
    case UpdateWizardFlow::eUpToDate:
      return fill("Your %1% has the newest firmware. There is nothing to update.", name);
    case UpdateWizardFlow::eUpdateAvailable:
      if (flow.refused()) {
        return fill(
            "This build of %2% has no firmware for your %1% and left it as it is: it updates only the "
            "simulated keyboard. For yours, build %2% with the maker's images: "
            "-DQV_FIRMWARE_DIR=/path/to/images.",
            name, tr(kApplicationName));
      }
      return fill("New firmware is available for your %1%. Click UPDATE to install it.", name);
    case UpdateWizardFlow::eAskUpdateMode:
      return fill(
          "Your %1% did not switch into update mode. Please disconnect it, connect it again and click "
          "RETRY.",
          name);
    case UpdateWizardFlow::eUpdating:
      switch (flow.step()) {
        case UpdateWizardFlow::eStepSwitching:
          return fill("Switching your %1% into update mode...", name);
        case UpdateWizardFlow::eStepReconnecting:
          return fill("Waiting for your %1% to restart...", name);
        default:
          return fill("Updating the firmware of your %1%. Do not disconnect it until the update is done.",
                      name);
      }
    case UpdateWizardFlow::eFailed:
      return fill(
          "The update of your %1% failed (error %2%). Check that your %1% is connected and click RETRY. "
          "If the update fails again, restart %3%.",
          name, static_cast<int>(flow.failure()), tr(kApplicationName));
    case UpdateWizardFlow::eDone:
      return fill("Your %1% now has the newest firmware. Click FINISH to quit.", name);
  }
  return std::string();
}

std::string actionCaption(UpdateWizardFlow::eAction action) {
  switch (action) {
    case UpdateWizardFlow::eActionRescan:
      return tr("RESCAN");
    case UpdateWizardFlow::eActionUpdate:
      return tr("UPDATE");
    case UpdateWizardFlow::eActionRetry:
      return tr("RETRY");
    case UpdateWizardFlow::eActionNone:
      break;
  }
  // A page without an action shows the button disabled, with the caption
  // of the step the road leads to.
  return tr("UPDATE");
}

std::string quitCaption(UpdateWizardFlow::eState state) {
  return state == UpdateWizardFlow::eDone ? tr("FINISH") : tr("QUIT");
}

std::string quitDuringUpdateQuestion() {
  return fill(
      "The firmware of your %1% is being updated. Quitting now may leave the keyboard unusable. Quit "
      "anyway?",
      tr(kKeyboardName));
}

}  // namespace QV::UpdaterTexts
