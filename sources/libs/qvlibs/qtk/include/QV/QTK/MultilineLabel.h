#pragma once

#include <QV/QTK/Label.h>

#include <string>
#include <vector>

namespace QV::QTK {

// A label of several lines: the text breaks at newlines and, where a line is
// wider than the label, between words; a word wider than the label is broken
// between characters. Lines below the label's bottom are cut. Aligned left
// and top by default.
class MultilineLabel : public Label
{
public:
    MultilineLabel();

    // Extra pixels between lines; negative moves them closer.
    void setLineSpacing(int spacing);
    int getLineSpacing() const noexcept { return m_lineSpacing; }

    // The text broken into the lines it shows at the width.
    static std::vector<std::string> wrap(const std::string& text, const UIA::Font& font, int width);

    void paint(UIA::Picture& picture) override;

private:
    int m_lineSpacing = 0;
};

} // namespace QV::QTK
