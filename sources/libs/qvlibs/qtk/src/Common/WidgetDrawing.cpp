#include "WidgetDrawing.h"

#include <QV/UIA/Picture.h>
#include <QV/UIA/PictureCombinerFunctors.h>
#include <QV/UIA/StringCropper.h>

namespace QV::QTK::DETAIL {

void drawPictureIn(UIA::Picture& target, const GP::Rect& rect, const UIA::Picture& source)
{
    GP::Rect dest = rect;
    if (source.getResizeBits() == 0) {
        const int w = static_cast<int>(source.getAnimationWidth());
        const int h = static_cast<int>(source.getAnimationHeight());
        dest.left = rect.left + (rect.right - rect.left - w) / 2;
        dest.top = rect.top + (rect.bottom - rect.top - h) / 2;
        dest.right = dest.left + w;
        dest.bottom = dest.top + h;
    }
    if (source.getAlphaChannel())
        target.putStretched<UIA::PictureCombinerFunctors::BlendUsingAlpha>(dest, source);
    else
        target.putStretched<UIA::PictureCombinerFunctors::CopySource>(dest, source);
}

std::string cropLine(const std::string& text, const UIA::Font& font, int width)
{
    const std::string line = text.substr(0, text.find('\n'));
    UIA::StringCropper cropper;
    cropper.cropper().m_eMode = GP::StringCropper::kAppend;
    cropper.cropper().m_strReplacement = "\xE2\x80\xA6";
    return cropper.cropString(line, font, width);
}

void drawTextLine(UIA::Picture& target, const GP::Rect& rect, const std::string& text, const UIA::Font& font,
                  std::uint32_t colour, UIA::Font::eAlignment alignment)
{
    if (text.empty() || rect.isEmpty())
        return;
    const std::string shown = cropLine(text, font, rect.right - rect.left);
    font.renderTextMultiline(target, rect, shown, colour, alignment, 0);
}

} // namespace QV::QTK::DETAIL
