#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>
#include <QV/UIA/PictureProperties.h>

#include <cstdint>
#include <memory>
#include <string>
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
    // The word of the pixel at origin-relative (x, y).
    std::uint32_t* pixelAt(int x, int y) noexcept { return getRow(y + m_origin.y) + (std::ptrdiff_t(x) + m_origin.x); }
    const std::uint32_t* pixelAt(int x, int y) const noexcept
    {
        return getRow(y + m_origin.y) + (std::ptrdiff_t(x) + m_origin.x);
    }

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

    // Drawing. Coordinates are origin-relative, colours 0xAARRGGBB with
    // straight alpha. An opaque colour is stored as it is; any other is put
    // over the pixel by the compositing formula (the older one when the
    // legacy flag is set). Operations ending in UC do not clip: their callers
    // keep inside the picture. The others draw only inside the clip when one
    // is set and always only inside the picture. Runs and areas with a length,
    // width or height below 1, and colours with alpha 0, draw nothing.

    // Every pixel set to the colour, without blending.
    void clear(std::uint32_t colour);
    // Unlike the runs and areas, a pixel with alpha 0 under a colour with
    // alpha 0 becomes 0x00000000.
    void setPixelUC(int x, int y, std::uint32_t colour);
    void drawLineH(int x, int y, int length, std::uint32_t colour);
    void drawLineHUC(int x, int y, int length, std::uint32_t colour);
    void drawLineV(int x, int y, int length, std::uint32_t colour);
    void drawLineVUC(int x, int y, int length, std::uint32_t colour);
    // Bresenham line; the end point is not drawn.
    void drawLine(int x1, int y1, int x2, int y2, std::uint32_t colour);
    void drawLineUC(int x1, int y1, int x2, int y2, std::uint32_t colour);
    // Anti-aliased line, its coverage weighted by the colour's alpha.
    void drawLineAA(float x1, float y1, float x2, float y2, std::uint32_t colour);
    void drawRectangle(int x, int y, int width, int height, std::uint32_t colour);
    void fillArea(int x, int y, int width, int height, std::uint32_t colour);
    void fillAreaUC(int x, int y, int width, int height, std::uint32_t colour);
    // Colour channels inverted, alpha kept.
    void invertArea(int x, int y, int width, int height);
    // The colour stored in every pixel of the rectangle, without blending;
    // the clip does not apply, the picture's bounds do.
    void setAreaColor(const GP::Rect& rect, std::uint32_t colour);
    // The source area at (sx, sy) of src copied to (x, y): word for word when
    // the source's alpha channel does not count, else put over the pixels.
    void copyAreaUC(int x, int y, int width, int height, const Picture& src, int sx, int sy);

    // Normalises the rectangle and cuts it to what clipped drawing may touch.
    // dx and dy tell how far its left and top edges moved inwards (as
    // requested minus cut, so 0 or below); false, with the rectangle
    // (0, 0, 0, 0), when nothing is left.
    bool checkClipRect(GP::Rect& rect, int* dx, int* dy) const;

    // The source's frame (or srcRect of it) put at (x, y) through the
    // functor: PictureCombinerFunctors::CopySource or BlendUsingAlpha.
    template <typename Functor>
    void putPicture(int x, int y, const Picture& src, unsigned int frame = 0, const GP::Rect* srcRect = nullptr);
    // The source's frame drawn into destRect: at its natural size, or by its
    // nine cells when it is resizable.
    template <typename Functor>
    void putStretched(const GP::Rect& destRect, const Picture& src, unsigned int frame = 0,
                      const GP::Rect* clipRect = nullptr);

    enum Sampling : int
    {
        eSmooth = 0,
        // Any value other than 0 replicates pixels.
        ePixelReplication = 1,
    };
    // A scaled copy with the properties (and borders) scaled along; nullptr
    // when the scale is not a positive finite number, or the new size is
    // empty or cannot be had.
    std::unique_ptr<Picture> cloneAndScale(float scale, Sampling sampling) const;

private:
    // Takes over the buffer and size of a freshly decoded picture, as a size
    // change would give them (origin (0, 0), no clip); decoded is left empty.
    void adoptPixels(Picture& decoded) noexcept;
    // The Bresenham walk of drawLineUC, plotting only inside limits.
    void walkLine(int x1, int y1, int x2, int y2, const GP::Rect& limits, std::uint32_t colour);
    // The area cut to what clipped drawing may touch; false when empty.
    bool cutArea(int x, int y, int width, int height, GP::Rect& area) const;

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

// The name of the high-resolution file of a picture: "@2x" after the stem
// for any scale other than exactly 1.
std::string resolveHiDPIUrl(const std::string& name, float scale);

} // namespace QV::UIA
