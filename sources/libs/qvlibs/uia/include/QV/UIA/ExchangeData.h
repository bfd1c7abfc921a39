#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace QV::UIA {

class ClipBoardFormat;
class ClipBoardFormatHandle;

namespace DETAIL {
class Pasteboard;
}

// Data exchanged through one pasteboard: the general clipboard, a drag's
// pasteboard, or a new one made for a drag. Errors of the pasteboard give
// false; nothing is reported to the user.
//
// Thread affinity: main thread.
class ExchangeData
{
public:
    // Wraps an existing pasteboard (the view wraps a drag's this way); null
    // gives an exchange without one.
    explicit ExchangeData(std::shared_ptr<DETAIL::Pasteboard> pasteboard) noexcept;
    // Writes the format onto the general clipboard (general set) or onto a
    // new pasteboard of its own. When nothing could be written the exchange
    // holds no pasteboard.
    ExchangeData(const ClipBoardFormat& format, bool general);

    bool hasPasteboard() const noexcept { return m_pasteboard != nullptr; }
    DETAIL::Pasteboard* getPasteboard() const noexcept { return m_pasteboard.get(); }

    // Whether some item offers data that conforms to the handle's type.
    bool containsFormat(const ClipBoardFormatHandle& handle) const;
    // Reads the format: text prefers an item's UTF-8 over its UTF-16, a
    // format of one value takes the first item that reads, a format of many
    // values collects every item's.
    bool getFormat(ClipBoardFormat& format) const;

private:
    bool copyAndConvertData(ClipBoardFormat& format, std::size_t item, const std::string& type) const;

    std::shared_ptr<DETAIL::Pasteboard> m_pasteboard;
};

} // namespace QV::UIA
