#include "WidgetDrawing.h"

#include <QV/QTK/Label.h>

namespace QV::QTK {

void Label::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    invalidate();
}

void Label::setFont(std::shared_ptr<const UIA::Font> font)
{
    m_font = std::move(font);
    invalidate();
}

void Label::setColour(std::uint32_t colour)
{
    m_colour = colour;
    invalidate();
}

void Label::setAlignment(UIA::Font::eAlignment alignment)
{
    m_alignment = alignment;
    invalidate();
}

void Label::paint(UIA::Picture& picture)
{
    if (m_font)
        DETAIL::drawTextLine(picture, {0, 0, getWidth(), getHeight()}, m_text, *m_font, m_colour, m_alignment);
}

} // namespace QV::QTK
