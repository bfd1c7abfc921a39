#include <QV/QTK/ButtonImpl.h>

namespace QV::QTK {

ButtonImpl::eState ButtonImpl::getState() const noexcept
{
    if (!isEnabledInTree())
        return eDisabled;
    if (isPressed())
        return ePressed;
    if (isHovered())
        return eHover;
    return eNormal;
}

void ButtonImpl::onClick(const GP::Point& /*where*/)
{
    const std::shared_ptr<tSignal> signal = m_clicked;
    const tSignalData data{this, getId()};
    (*signal)(data);
}

} // namespace QV::QTK
