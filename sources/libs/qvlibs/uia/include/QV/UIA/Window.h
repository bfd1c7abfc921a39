#pragma once

#include <QV/UIA/WindowBase.h>

namespace QV::UIA {

// A window of the toolkit; its creation record is WindowBase::CreateData.
class Window : public WindowBase
{
};

} // namespace QV::UIA
