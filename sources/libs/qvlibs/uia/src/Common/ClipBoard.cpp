#include <QV/UIA/ClipBoard.h>
#include <QV/UIA/DETAIL/Pasteboard.h>
#include <QV/UIA/ExchangeData.h>

namespace QV::UIA {

void ClipBoard::setFormat(const ClipBoardFormat& format)
{
    ExchangeData written(format, true);
}

bool ClipBoard::getFormat(ClipBoardFormat& format)
{
    return ExchangeData(DETAIL::openGeneralPasteboard()).getFormat(format);
}

} // namespace QV::UIA
