#pragma once

#include <QV/GP/Rect.h>
#include <QV/UIA/Font.h>

#include <cstdint>
#include <string>

namespace QV::UIA {
class Picture;
}

namespace QV::QTK::DETAIL {

// The picture inside rect: a resizable picture drawn by its nine cells over
// the whole rect, any other at its natural size centred in it; blended by
// its alpha when it has any.
void drawPictureIn(UIA::Picture& target, const GP::Rect& rect, const UIA::Picture& source);

// The first line of the text cropped to the width with an ellipsis at its
// end, as a single-line widget shows it.
std::string cropLine(const std::string& text, const UIA::Font& font, int width);

// One line of text inside rect, cropped to its width and aligned.
void drawTextLine(UIA::Picture& target, const GP::Rect& rect, const std::string& text, const UIA::Font& font,
                  std::uint32_t colour, UIA::Font::eAlignment alignment);

} // namespace QV::QTK::DETAIL
