#include "WizardLook.h"

#include <QV/QTK/Resources.h>

namespace QV::WizardLook {

std::shared_ptr<const UIA::Font> font(const tText& look) {
  if (auto found = QTK::Resources::getFont(look.font, look.pixelSize)) {
    return found;
  }
  return QTK::Resources::getFont("", look.pixelSize);
}

}  // namespace QV::WizardLook
