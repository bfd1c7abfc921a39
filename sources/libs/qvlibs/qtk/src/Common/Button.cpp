#include "WidgetDrawing.h"

#include <QV/QTK/Button.h>
#include <QV/UIA/Picture.h>

namespace QV::QTK {

void Button::setLook(eState state, const tLook& look)
{
    const auto index = static_cast<std::size_t>(state);
    if (index >= m_looks.size())
        return;
    m_looks[index] = look;
    m_hasLook[index] = true;
    invalidate();
}

const Button::tLook& Button::getLook(eState state) const noexcept
{
    const auto index = static_cast<std::size_t>(state);
    return index < m_looks.size() && m_hasLook[index] ? m_looks[index] : m_looks[eNormal];
}

void Button::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    changedForClicks();
}

void Button::setFont(std::shared_ptr<const UIA::Font> font)
{
    m_font = std::move(font);
    invalidate();
}

void Button::paint(UIA::Picture& picture)
{
    const tLook& look = getLook(getState());
    const int w = getWidth();
    const int h = getHeight();
    picture.fillArea(0, 0, w, h, look.background);
    if (look.picture)
        DETAIL::drawPictureIn(picture, {0, 0, w, h}, *look.picture);
    picture.drawRectangle(0, 0, w, h, look.border);
    if (m_font)
        DETAIL::drawTextLine(picture, {2, 0, w - 2, h}, m_text, *m_font, look.textColour, UIA::Font::eAlignCenter);
}

} // namespace QV::QTK
