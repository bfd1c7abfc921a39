#pragma once

#include <cstdint>
#include <memory>

#include <QV/QTK/Button.h>

namespace QV::UIA {
class Font;
}

// The look of the updater's window in one place: colours (0xAARRGGBB),
// fonts, sizes and places. There is no style-sheet language; a new look is a
// change of this table.
namespace QV::WizardLook {

struct tText {
  const char* font;
  int pixelSize;
  std::uint32_t colour;
};

struct tButton {
  tText text;
  QTK::Button::tLook normal, hover, pressed, disabled;
};

// The font of the look, from the bundle's fonts; the built-in default font
// when the file is missing.
std::shared_ptr<const UIA::Font> font(const tText& look);

inline constexpr const char* kRegularFont = "DejaVuSans.ttf";
inline constexpr const char* kBoldFont = "DejaVuSans-Bold.ttf";

inline constexpr std::uint32_t kTitleBackground = 0xFF1F2B3A;
inline constexpr std::uint32_t kFirmwareBackground = 0xFFF3F5F8;
inline constexpr std::uint32_t kInfoBackground = 0xFFFFFFFF;
inline constexpr std::uint32_t kButtonPanelBackground = 0xFFE6EAF0;
inline constexpr std::uint32_t kAboutBackground = 0xFFFFFFFF;
inline constexpr std::uint32_t kAboutFrame = 0xFF1F2B3A;
inline constexpr int kAboutFrameWidth = 2;

inline constexpr tText kHeadline{kBoldFont, 17, 0xFFFFFFFF};
inline constexpr tText kCaption{kRegularFont, 12, 0xFF5B6675};
inline constexpr tText kValue{kBoldFont, 16, 0xFF1F2B3A};
inline constexpr tText kMessage{kRegularFont, 14, 0xFF1F2B3A};
inline constexpr int kMessageLineSpacing = 3;
inline constexpr tText kAboutTitle{kBoldFont, 17, 0xFF1F2B3A};
inline constexpr tText kAboutLine{kRegularFont, 13, 0xFF38424F};
inline constexpr tText kAboutSmall{kRegularFont, 12, 0xFF5B6675};

inline const tButton kPrimaryButton{
    {kBoldFont, 13, 0xFFFFFFFF},
    {0xFF2F6FD6, 0xFF2559AD, 0xFFFFFFFF, nullptr},
    {0xFF3C7FE8, 0xFF2559AD, 0xFFFFFFFF, nullptr},
    {0xFF2459B0, 0xFF1B4488, 0xFFFFFFFF, nullptr},
    {0xFFBCC5D1, 0xFFAAB4C1, 0xFFF2F4F7, nullptr},
};
inline const tButton kSecondaryButton{
    {kBoldFont, 13, 0xFF1F2B3A},
    {0xFFFFFFFF, 0xFF9AA6B4, 0xFF1F2B3A, nullptr},
    {0xFFF0F4FA, 0xFF6F7C8C, 0xFF1F2B3A, nullptr},
    {0xFFDCE3EC, 0xFF6F7C8C, 0xFF1F2B3A, nullptr},
    {0xFFF3F5F8, 0xFFC9D0D8, 0xFFA3ACB7, nullptr},
};

inline constexpr int kMargin = 24;
inline constexpr int kTitleHeight = 56;
inline constexpr int kFirmwareHeight = 184;
inline constexpr int kButtonPanelHeight = 68;
inline constexpr int kColumnWidth = 150;
inline constexpr int kKeyboardWidth = 420;
inline constexpr int kKeyboardHeight = 128;
inline constexpr int kIconSize = 48;
inline constexpr int kWheelSize = 32;
inline constexpr int kWheelSteps = 12;
// One wheel step every two ticks (80 ms): a turn in about a second.
inline constexpr int kWheelTicks = 2;
inline constexpr int kButtonWidth = 112;
inline constexpr int kButtonHeight = 34;
inline constexpr int kButtonGap = 12;
inline constexpr int kAboutWidth = 480;
inline constexpr int kAboutHeight = 360;

}  // namespace QV::WizardLook
