#pragma once

#include <QV/QTK/Widget.h>
#include <QV/UIA/Font.h>

#include <cstdint>
#include <memory>
#include <string>

namespace QV::QTK {

// One line of text (UTF-8; what follows a newline is not shown), cropped
// with an ellipsis when it is wider than the label, and aligned inside it.
// Without a font it shows nothing.
class Label : public Widget
{
public:
    void setText(std::string text);
    const std::string& getText() const noexcept { return m_text; }
    void setFont(std::shared_ptr<const UIA::Font> font);
    const std::shared_ptr<const UIA::Font>& getFont() const noexcept { return m_font; }
    void setColour(std::uint32_t colour);
    std::uint32_t getColour() const noexcept { return m_colour; }
    // Left and vertically centred by default.
    void setAlignment(UIA::Font::eAlignment alignment);
    UIA::Font::eAlignment getAlignment() const noexcept { return m_alignment; }

    void paint(UIA::Picture& picture) override;

private:
    std::string m_text;
    std::shared_ptr<const UIA::Font> m_font;
    std::uint32_t m_colour = 0xFF000000u;
    UIA::Font::eAlignment m_alignment = UIA::Font::eAlignLeft;
};

} // namespace QV::QTK
