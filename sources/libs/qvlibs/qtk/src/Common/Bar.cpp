#include "WidgetDrawing.h"

#include <QV/QTK/Bar.h>
#include <QV/UIA/Picture.h>

namespace QV::QTK {

void Bar::setColour(std::uint32_t colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    invalidate();
}

void Bar::setPicture(std::shared_ptr<const UIA::Picture> picture)
{
    if (picture == m_picture)
        return;
    m_picture = std::move(picture);
    invalidate();
}

void Bar::paint(UIA::Picture& picture)
{
    picture.fillArea(0, 0, getWidth(), getHeight(), m_colour);
    if (m_picture)
        DETAIL::drawPictureIn(picture, {0, 0, getWidth(), getHeight()}, *m_picture);
}

} // namespace QV::QTK
