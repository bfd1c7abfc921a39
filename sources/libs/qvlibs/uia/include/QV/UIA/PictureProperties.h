#pragma once

#include <cstdint>

namespace QV::GP {
class Stream;
}

namespace QV::UIA {

// How a picture is to be used as a resource: whether its alpha channel counts,
// how many animation frames it holds and how they are laid out, and which
// borders stay at their natural size when it is drawn larger than itself.
// Values are stored as given; the drawing code treats an animation count of 0
// as 1 and negative borders as 0, so a record read from a file cannot make it
// reach outside a picture.
class PictureProperties
{
public:
    enum eOrientation : std::int32_t
    {
        eVertical = 1,   // frames stacked top to bottom
        eHorizontal = 2, // frames side by side
    };

    // Bits of the resize word.
    static constexpr std::uint32_t kVertResizable = 1;
    static constexpr std::uint32_t kHorzResizable = 2;

    // The record: a version word, then the eight fields, 33 bytes in all.
    static constexpr std::uint32_t kRecordVersion = 1;
    static constexpr std::uint32_t kRecordSize = 33;

    PictureProperties() = default;
    PictureProperties(const PictureProperties&) = default;
    PictureProperties& operator=(const PictureProperties&) = default;
    virtual ~PictureProperties() = default;

    // Each setter stores its value, then calls propertiesChanged().
    virtual void setAlphaChannel(bool alpha);
    virtual void setHorizontalAnimation(bool horizontal);
    virtual void setAnimationOrientation(eOrientation orientation);
    virtual void setNumAnimations(unsigned int count);
    virtual void setVertResizable(bool resizable);
    virtual void setHorzResizable(bool resizable);
    virtual void setFixedTop(int rows);
    virtual void setFixedBottom(int rows);
    virtual void setFixedLeft(int columns);
    virtual void setFixedRight(int columns);

    // Reads the record in the stream's byte order and stores the fields as
    // they come (the version word is not looked at), then calls
    // propertiesChanged(). False, with nothing changed, when the stream does
    // not deliver the whole record.
    virtual bool read(GP::Stream& stream);
    // Writes the record; false when the stream does not take all of it.
    virtual bool write(GP::Stream& stream);

    // A hook for derived classes; does nothing here.
    virtual void propertiesChanged() {}

    bool getAlphaChannel() const noexcept { return m_alphaChannel; }
    eOrientation getAnimationOrientation() const noexcept { return m_orientation; }
    unsigned int getNumAnimations() const noexcept { return m_numAnimations; }
    std::uint32_t getResizeBits() const noexcept { return m_resizeBits; }
    bool isVertResizable() const noexcept { return (m_resizeBits & kVertResizable) != 0; }
    bool isHorzResizable() const noexcept { return (m_resizeBits & kHorzResizable) != 0; }
    int getFixedTop() const noexcept { return m_fixedTop; }
    int getFixedBottom() const noexcept { return m_fixedBottom; }
    int getFixedLeft() const noexcept { return m_fixedLeft; }
    int getFixedRight() const noexcept { return m_fixedRight; }

    // The number of frames the picture is cut into: the count, at least 1.
    unsigned int getFrameCount() const noexcept { return m_numAnimations > 0 ? m_numAnimations : 1; }

    friend bool operator==(const PictureProperties& a, const PictureProperties& b) noexcept
    {
        return a.m_alphaChannel == b.m_alphaChannel && a.m_orientation == b.m_orientation &&
               a.m_numAnimations == b.m_numAnimations && a.m_resizeBits == b.m_resizeBits &&
               a.m_fixedTop == b.m_fixedTop && a.m_fixedBottom == b.m_fixedBottom && a.m_fixedLeft == b.m_fixedLeft &&
               a.m_fixedRight == b.m_fixedRight;
    }

protected:
    bool m_alphaChannel = false;
    eOrientation m_orientation = eVertical;
    unsigned int m_numAnimations = 0;
    std::uint32_t m_resizeBits = 0;
    int m_fixedTop = 0;
    int m_fixedBottom = 0;
    int m_fixedLeft = 0;
    int m_fixedRight = 0;
};

} // namespace QV::UIA
