#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>
#include <QV/UIA/PictureProperties.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace QV::UIA {

// A 32-bit raster picture: one word 0xAARRGGBB per pixel (bytes blue, green,
// red, alpha in memory), straight alpha, rows without gaps. Drawing takes
// coordinates relative to an origin; an optional clip rectangle, held in the
// same coordinates, limits the clipped operations.
//
// Thread affinity: one thread at a time.
class Picture : public PictureProperties
{
public:
    // The largest buffer accepted, in bytes: sizes are held in 32 bits.
    static constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFu;

    Picture() = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() override = default;

    // Gives the picture a new size through reallocData(); on success the
    // origin goes back to (0, 0) and the clip is cleared. Pixel contents are
    // undefined afterwards. False, with the size unchanged, when the buffer
    // cannot be had.
    bool setSize(int width, int height, bool shrink);

    // Makes the buffer large enough for width x height pixels. A larger
    // buffer is kept unless shrink asks for the exact size. False for
    // negative sizes, for sizes whose buffer would not fit in 32 bits, and
    // when the allocation fails (the picture is then left without a buffer
    // and with size 0).
    virtual bool reallocData(int width, int height, bool shrink);

    int getWidth() const noexcept { return m_width; }
    int getHeight() const noexcept { return m_height; }
    std::uint32_t getCapacity() const noexcept { return m_capacity; }
    std::uint32_t* getPixels() noexcept { return m_pixels; }
    const std::uint32_t* getPixels() const noexcept { return m_pixels; }
    // The word of the pixel at (x, y) of the buffer, origin not applied.
    std::uint32_t* getRow(int y) noexcept { return m_pixels + std::ptrdiff_t(y) * m_width; }
    const std::uint32_t* getRow(int y) const noexcept { return m_pixels + std::ptrdiff_t(y) * m_width; }

    // Size of one animation frame.
    unsigned int getAnimationWidth() const noexcept;
    unsigned int getAnimationHeight() const noexcept;

    void setClipRect(const GP::Rect& rect);
    void resetClipRect();
    bool isClipSet() const noexcept { return m_clipSet; }
    const GP::Rect& getClipRect() const noexcept { return m_clipRect; }
    void setOrigin(const GP::Point& origin);
    const GP::Point& getOrigin() const noexcept { return m_origin; }
    // The whole picture in origin-relative coordinates.
    GP::Rect getBounds() const noexcept;
    // What clipped drawing may touch: the clip when one is set, else the
    // whole picture, in origin-relative coordinates.
    GP::Rect getEffectiveClip() const noexcept;

    void setUseLegacyAlphaCompositing(bool legacy) noexcept { m_useLegacyAlphaCompositing = legacy; }
    bool getUseLegacyAlphaCompositing() const noexcept { return m_useLegacyAlphaCompositing; }

    // Loading from picture files: PNG, JPEG (its embedded colour profile
    // converted to sRGB) and true-colour TGA. readDetect tries the three in
    // that order from the stream's position and answers whether one of them
    // read a picture. The orientation is accepted for the callers' sake and
    // not used. With detectAlpha the alpha-channel flag says whether the
    // file holds a pixel that is not opaque. A failed read leaves the picture
    // as it was: each reader decodes into a picture of its own and takes its
    // pixels over only on success. Nothing is thrown and nothing is shown.
    bool readDetect(GP::Stream& stream, eOrientation orientation, bool detectAlpha);
    bool readPNG(GP::Stream& stream, eOrientation orientation, bool detectAlpha);
    bool readJPG(GP::Stream& stream, eOrientation orientation, bool detectAlpha);
    bool readTGA(GP::Stream& stream, eOrientation orientation, bool detectAlpha);

    // One nine-bit mask per frame: bit 3 x row + column is set when that
    // cell of the frame's three-by-three grid has no pixel with alpha.
    void initEmptyAreaFlags();
    const std::vector<std::uint32_t>& getEmptyAreaFlags() const noexcept { return m_emptyAreaFlags; }

    // The frame's fixed borders as drawing uses them: those of the axes that
    // are resizable, never below 0.
    struct Borders
    {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };
    Borders getBorders() const noexcept;

private:
    // Takes over the buffer and size of a freshly decoded picture, as a size
    // change would give them (origin (0, 0), no clip); decoded is left empty.
    void adoptPixels(Picture& decoded) noexcept;

    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint32_t* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::uint32_t m_capacity = 0;
    bool m_useLegacyAlphaCompositing = false;
    bool m_clipSet = false;
    GP::Rect m_clipRect;
    GP::Point m_origin;
    std::vector<std::uint32_t> m_emptyAreaFlags;
};

} // namespace QV::UIA
