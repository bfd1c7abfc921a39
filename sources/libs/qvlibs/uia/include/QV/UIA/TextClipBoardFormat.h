#pragma once

#include <QV/UIA/ClipBoardFormat.h>

#include <string>

namespace QV::UIA {

// Plain text as UTF-16 units. Text read from a pasteboard ends at its first
// NUL unit, loses a leading byte-order mark and has each CR LF turned into a
// single CR, the line end the system's text widgets expect.
class TextClipBoardFormat : public RawDataClipBoardFormat
{
public:
    TextClipBoardFormat();
    explicit TextClipBoardFormat(const std::string& utf8);

    static const ClipBoardFormatHandle& FormatHandle();

    bool readRawData(const void* data, unsigned long size) override;
    void writeRawData(void* destination) const override;
    unsigned long getRawDataSize() const override;

    // The value as UTF-8 (malformed units dropped), and set from UTF-8.
    std::string getValue() const;
    void setValue(const std::string& utf8);
    const std::u16string& getUTF16() const noexcept { return m_value; }

private:
    void fixupReadRawData();

    std::u16string m_value;
};

} // namespace QV::UIA
