#pragma once

#include <QV/QTK/ButtonImpl.h>
#include <QV/UIA/Font.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace QV::UIA {
class Picture;
}

namespace QV::QTK {

// A push button showing a text, a picture, or a picture under a text, in
// the look of its state: normal, hovered, pressed or disabled.
class Button : public ButtonImpl
{
public:
    struct tLook {
        std::uint32_t background = 0; // alpha 0: none
        std::uint32_t border = 0;     // alpha 0: none
        std::uint32_t textColour = 0xFF000000u;
        // Drawn over the background; a resizable one covers the button.
        std::shared_ptr<const UIA::Picture> picture;
    };

    // A state without a look of its own shows the normal look.
    void setLook(eState state, const tLook& look);
    const tLook& getLook(eState state) const noexcept;
    void setText(std::string text);
    const std::string& getText() const noexcept { return m_text; }
    void setFont(std::shared_ptr<const UIA::Font> font);

    void paint(UIA::Picture& picture) override;

private:
    std::array<tLook, 4> m_looks;
    std::array<bool, 4> m_hasLook{true, false, false, false};
    std::string m_text;
    std::shared_ptr<const UIA::Font> m_font;
};

} // namespace QV::QTK
