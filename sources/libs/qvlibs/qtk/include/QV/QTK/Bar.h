#pragma once

#include <QV/QTK/Widget.h>

#include <cstdint>
#include <memory>

namespace QV::UIA {
class Picture;
}

namespace QV::QTK {

// A panel filled with one colour, with an optional picture above it: a
// resizable picture covers the whole bar by its nine cells, any other sits
// centred at its natural size.
class Bar : public Widget
{
public:
    // A colour with alpha 0 leaves what lies under the bar.
    void setColour(std::uint32_t colour);
    std::uint32_t getColour() const noexcept { return m_colour; }
    // Null removes the picture.
    void setPicture(std::shared_ptr<const UIA::Picture> picture);
    const std::shared_ptr<const UIA::Picture>& getPicture() const noexcept { return m_picture; }

    void paint(UIA::Picture& picture) override;

private:
    std::uint32_t m_colour = 0;
    std::shared_ptr<const UIA::Picture> m_picture;
};

} // namespace QV::QTK
