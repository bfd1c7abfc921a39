#include <QV/GP/LexicalCast.h>

#include <QV/GP/StringUtil.h>

#include <sstream>

namespace QV::GP::DETAIL {

template <>
void LexicalCastHelper<unsigned int>(const std::string& text, unsigned int& value, bool* ok, unsigned long& end,
                                     unsigned long start, bool hex)
{
    value = 0;
    end = std::string::npos;
    if (ok != nullptr)
        *ok = false;

    const std::string ascii = StringUtil::toAscii(text);
    if (start >= ascii.size())
        return;
    std::istringstream stream(ascii);
    if (start != 0)
        stream.seekg(static_cast<std::streamoff>(start));
    stream >> std::ws;
    // Stream extraction of an unsigned number accepts a minus sign and
    // wraps the value around; a sign has no place in an unsigned number.
    const int next = stream.peek();
    if (next == '-' || next == '+')
        return;
    unsigned int number = 0;
    if (!(stream >> (hex ? std::hex : std::dec) >> number))
        return;

    value = number;
    if (ok != nullptr)
        *ok = true;
    if (stream.eof()) {
        end = ascii.size();
    } else {
        end = static_cast<unsigned long>(stream.tellg());
    }
}

} // namespace QV::GP::DETAIL
