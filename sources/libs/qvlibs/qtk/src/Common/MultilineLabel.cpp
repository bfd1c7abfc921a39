#include <QV/QTK/MultilineLabel.h>

#include <algorithm>

namespace QV::QTK {

namespace {

// Bytes of the UTF-8 sequence that starts the text, never past its end; a
// stray byte counts as one.
std::size_t firstCharLength(const std::string& text) noexcept
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 1;
    if (lead >= 0xF0)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC0)
        length = 2;
    return std::min(length, text.size());
}

int widthOf(const UIA::Font& font, const std::string& text)
{
    return font.getStringWidth(text.c_str(), static_cast<int>(text.size()));
}

// Breaks a word wider than the width between characters; at least one
// character goes on each line so that the loop always moves on.
void breakWord(std::string word, const UIA::Font& font, int width, std::vector<std::string>& lines, std::string& rest)
{
    while (word.size() > 1 && widthOf(font, word) > width) {
        int cut = font.getCharPos(word.c_str(), width, UIA::Font::eRoundDown);
        if (cut <= 0)
            cut = static_cast<int>(firstCharLength(word));
        if (static_cast<std::size_t>(cut) >= word.size())
            break;
        lines.push_back(word.substr(0, static_cast<std::size_t>(cut)));
        word.erase(0, static_cast<std::size_t>(cut));
    }
    rest = std::move(word);
}

} // namespace

MultilineLabel::MultilineLabel()
{
    setAlignment(UIA::Font::eAlignLeft | UIA::Font::eAlignTop);
}

void MultilineLabel::setLineSpacing(int spacing)
{
    m_lineSpacing = spacing;
    invalidate();
}

std::vector<std::string> MultilineLabel::wrap(const std::string& text, const UIA::Font& font, int width)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string paragraph = text.substr(start, end - start);
        if (width <= 0) {
            lines.push_back(paragraph);
        } else {
            std::string line;
            std::size_t at = 0;
            while (at <= paragraph.size()) {
                const std::size_t space = std::min(paragraph.find(' ', at), paragraph.size());
                const std::string word = paragraph.substr(at, space - at);
                const std::string joined = line.empty() ? word : line + ' ' + word;
                if (line.empty() || widthOf(font, joined) <= width) {
                    line = joined;
                    if (widthOf(font, line) > width)
                        breakWord(line, font, width, lines, line);
                } else {
                    lines.push_back(line);
                    breakWord(word, font, width, lines, line);
                }
                at = space + 1;
            }
            lines.push_back(line);
        }
        if (end >= text.size())
            break;
        start = end + 1;
    }
    return lines;
}

void MultilineLabel::paint(UIA::Picture& picture)
{
    const std::shared_ptr<const UIA::Font>& font = getFont();
    if (!font || getText().empty())
        return;
    std::string shown;
    for (const std::string& line : wrap(getText(), *font, getWidth())) {
        shown += line;
        shown += '\n';
    }
    shown.pop_back();
    font->renderTextMultiline(picture, {0, 0, getWidth(), getHeight()}, shown, getColour(), getAlignment(),
                              m_lineSpacing);
}

} // namespace QV::QTK
