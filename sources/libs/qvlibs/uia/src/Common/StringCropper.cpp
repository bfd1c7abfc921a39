#include <QV/UIA/StringCropper.h>

#include <QV/UIA/Font.h>

#include "GlyphTextReader.h"

#include <stdexcept>
#include <string_view>

namespace QV::UIA {

namespace {

// The text with each malformed sequence replaced by U+FFFD, as drawing
// shows it.
std::string wellFormed(const GP::CharSequence<char>& text)
{
    std::string result;
    result.reserve(text.length());
    DETAIL::GlyphTextReader reader(text.data(), text.data() + text.length());
    for (;;) {
        const char* start = reader.position();
        char32_t cp;
        if (!reader.next(cp))
            return result;
        const bool replaced = cp == DETAIL::GlyphTextReader::kReplacement &&
                              std::string_view(start, reader.position()) != "\xEF\xBF\xBD";
        if (replaced)
            result += "\xEF\xBF\xBD";
        else
            result.append(start, reader.position());
    }
}

} // namespace

std::string StringCropper::cropString(const GP::CharSequence<char>& text, const Font& font, int width) const
{
    const GP::StringCropper::WidthFunction widthOf = [&font](const char* s) { return font.getStringWidth(s, -1); };
    const GP::StringCropper::CharPosFunction charPos = [&font](const char* s, int x) {
        return font.getCharPos(s, x, Font::eRoundDown);
    };
    try {
        return m_cropper.cropString(text, width, widthOf, charPos);
    }
    catch (const std::out_of_range&) {
    }
    const std::string cleaned = wellFormed(text);
    try {
        return m_cropper.cropString(GP::CharSequence<char>(cleaned), width, widthOf, charPos);
    }
    catch (const std::out_of_range&) {
        // The replacement text itself is broken: cut the line at the width.
        return cleaned.substr(0, static_cast<std::size_t>(font.getCharPos(cleaned.c_str(), width, Font::eRoundDown)));
    }
}

} // namespace QV::UIA
