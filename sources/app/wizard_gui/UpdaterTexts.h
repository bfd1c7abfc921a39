#pragma once

#include <string>

#include "UpdateWizardFlow.h"

namespace QV {

// The texts the updater shows, all looked up in its own catalogue
// ("updater" in the bundle's language folders) so that they can be
// translated. A text the catalogue lacks shows as written here.
//
// Thread: any thread.
namespace UpdaterTexts {

// The keyboard's name as the user knows it; "%1%" in the page texts.
inline constexpr const char* kKeyboardName = "ORVEL TARSIN VANTA Keyboard";
// The name the application gives itself in its messages.
inline constexpr const char* kApplicationName = "ZRV Firmware Updater";
// The application's title and the headline of its window.
inline constexpr const char* kApplicationTitle = "ORVEL TARSIN VANTA FIRMWARE UPDATER";

// The translation of a text.
const std::string& tr(const char* text);

// The message of the wizard's current page.
std::string pageMessage(const UpdateWizardFlow& flow);
// The caption of the action button; a page without an action shows
// "UPDATE" on a disabled button.
std::string actionCaption(UpdateWizardFlow::eAction action);
// "QUIT", or "FINISH" on the done page.
std::string quitCaption(UpdateWizardFlow::eState state);
// The question asked when the user quits during an update.
std::string quitDuringUpdateQuestion();

// A text read from the keyboard, fit to show: control characters (which a
// device may send in its strings) become '?', and an empty text a dash.
std::string fromDevice(const std::string& text);

// A template filled with its arguments. A template that does not fit them (a
// damaged translation) falls back to the untranslated one, so the user
// still reads a whole sentence.
std::string fill(const char* text, const std::string& first);
std::string fill(const char* text, const std::string& first, int second, const std::string& third);
std::string fill(const char* text, const std::string& first, const std::string& second);

}  // namespace UpdaterTexts

}  // namespace QV
