#include <QV/UIA/Picture.h>

#include "Common/PictureDecoding.h"

#include <QV/GP/Stream.h>

#include <png.h>

#include <vector>

namespace QV::UIA {

namespace {

// libpng reports errors through this handler, which must not return: it
// jumps back to the step that called into libpng.
[[noreturn]] void failPNG(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignorePNGWarning(png_structp, png_const_charp) {}

// A file that ends early is an error, not a picture padded with whatever the
// buffer held before.
void readFromStream(png_structp png, png_bytep data, std::size_t length)
{
    auto* stream = static_cast<GP::Stream*>(png_get_io_ptr(png));
    if (stream->readRaw(data, length) != length)
        png_error(png, "the file ends early");
}

class PNGReadStructs
{
public:
    PNGReadStructs() : m_png(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failPNG, ignorePNGWarning))
    {
        if (m_png != nullptr)
            m_info = png_create_info_struct(m_png);
    }
    PNGReadStructs(const PNGReadStructs&) = delete;
    PNGReadStructs& operator=(const PNGReadStructs&) = delete;
    ~PNGReadStructs() { png_destroy_read_struct(&m_png, m_info != nullptr ? &m_info : nullptr, nullptr); }

    bool valid() const noexcept { return m_png != nullptr && m_info != nullptr; }
    png_structp png() const noexcept { return m_png; }
    png_infop info() const noexcept { return m_info; }

private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

// What the header step learns, kept outside the guarded step.
struct PNGHeader
{
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = -1;
    bool hasTransparency = false;
    bool supported = false;
    std::size_t rowBytes = 0;
};

} // namespace

bool Picture::readPNG(GP::Stream& stream, eOrientation, bool detectAlpha)
{
    PNGReadStructs structs;
    if (!structs.valid())
        return false;
    png_structp png = structs.png();
    png_infop info = structs.info();
    png_set_read_fn(png, &stream, readFromStream);
    png_set_user_limits(png, DETAIL::kMaxPictureSide, DETAIL::kMaxPictureSide);

    PNGHeader header;
    const bool headerRead = DETAIL::runGuarded(png_jmpbuf(png), [png, info, &header] {
        png_read_info(png, info);
        if (png_get_IHDR(png, info, &header.width, &header.height, &header.bitDepth, &header.colorType, nullptr,
                         nullptr, nullptr)
            == 0)
            return;
        header.hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        if (header.hasTransparency)
            png_set_tRNS_to_alpha(png);
        if (header.bitDepth == 16)
            png_set_strip_16(png);
        switch (header.colorType) {
        case PNG_COLOR_TYPE_GRAY:
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
            png_set_gray_to_rgb(png);
            break;
        case PNG_COLOR_TYPE_RGB:
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
            png_set_bgr(png);
            break;
        case PNG_COLOR_TYPE_PALETTE:
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
            png_set_palette_to_rgb(png);
            png_set_bgr(png);
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            png_set_gray_to_rgb(png);
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            png_set_bgr(png);
            break;
        default:
            return;
        }
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        header.rowBytes = png_get_rowbytes(png, info);
        header.supported = true;
    });
    // Every row must come out as exactly one word per pixel, whatever the
    // file's colour type asked of the transformations.
    if (!headerRead || !header.supported || !DETAIL::acceptablePictureSize(header.width, header.height)
        || header.rowBytes != std::size_t(header.width) * 4u)
        return false;

    Picture decoded;
    if (!decoded.setSize(int(header.width), int(header.height), true))
        return false;
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(decoded.getRow(int(y)));
    png_bytepp rowPointers = rows.data();
    if (!DETAIL::runGuarded(png_jmpbuf(png), [png, rowPointers] {
            png_read_image(png, rowPointers);
            png_read_end(png, nullptr);
        }))
        return false;

    // Grey and RGB files are opaque unless a tRNS chunk names a transparent
    // colour.
    const bool mayHaveAlpha = header.colorType == PNG_COLOR_TYPE_PALETTE || header.colorType == PNG_COLOR_TYPE_GRAY_ALPHA
        || header.colorType == PNG_COLOR_TYPE_RGB_ALPHA || header.hasTransparency;
    const bool alpha = detectAlpha && mayHaveAlpha && DETAIL::hasTranslucentPixel(decoded);
    adoptPixels(decoded);
    setAlphaChannel(alpha);
    return true;
}

} // namespace QV::UIA
