#pragma once

#include <QV/GP/CharSequence.h>
#include <QV/GP/StringCropper.h>

#include <string>

namespace QV::UIA {

class Font;

// The foundation's string cropper measuring with a font. Malformed UTF-8 in
// the text or the replacement does not escape: the text is cropped with each
// broken sequence shown as U+FFFD, as the font draws it.
//
// Thread affinity: main thread (the font's).
class StringCropper
{
public:
    // The text cropped to the width in the cropper's mode; widths from the
    // font, cuts rounded down so a cropped text never grows past the width.
    std::string cropString(const GP::CharSequence<char>& text, const Font& font, int width) const;

    // The mode, replacement text and abbreviations in force.
    GP::StringCropper& cropper() noexcept { return m_cropper; }
    const GP::StringCropper& cropper() const noexcept { return m_cropper; }

private:
    GP::StringCropper m_cropper;
};

} // namespace QV::UIA
