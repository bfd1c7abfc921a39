#include <QV/UIA/Picture.h>

#include "Common/JPGSourceManager.h"
#include "Common/PictureDecoding.h"

#include <QV/GP/Stream.h>

#include <lcms2.h>

#include <cstring>
#include <memory>
#include <vector>

namespace QV::UIA {

namespace {

constexpr int kICCMarker = JPEG_APP0 + 2;
constexpr std::size_t kICCPrefixSize = 14;
constexpr char kICCSignature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', '\0'};

// libjpeg's standard error manager with error_exit replaced: the message
// goes out as usual, then control jumps back to the guarded step.
struct JPGErrorManager
{
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};

    [[noreturn]] static void errorExitHandler(j_common_ptr cinfo)
    {
        (*cinfo->err->output_message)(cinfo);
        std::longjmp(reinterpret_cast<JPGErrorManager*>(cinfo->err)->jump, 1);
    }
};

// A progressive file may hold any number of scans, each of which makes the
// decoder go over the whole picture again; real files have about ten.
struct JPGProgress
{
    // First, so that libjpeg's pointer to it is a pointer to the whole.
    jpeg_progress_mgr progress{};
    int scanLimit = DETAIL::kMaxJPEGScans;

    static void limitScans(j_common_ptr cinfo)
    {
        const auto* self = reinterpret_cast<const JPGProgress*>(cinfo->progress);
        if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > self->scanLimit)
            std::longjmp(reinterpret_cast<JPGErrorManager*>(cinfo->err)->jump, 1);
    }
};

// The decompressor, destroyed on every path; libjpeg allows that after an
// error too.
class JPGDecompressor
{
public:
    JPGDecompressor() = default;
    JPGDecompressor(const JPGDecompressor&) = delete;
    JPGDecompressor& operator=(const JPGDecompressor&) = delete;
    ~JPGDecompressor()
    {
        if (m_created)
            jpeg_destroy_decompress(&cinfo);
    }

    void markCreated() noexcept { m_created = true; }

    jpeg_decompress_struct cinfo{};

private:
    bool m_created = false;
};

struct ProfileCloser
{
    void operator()(void* profile) const noexcept { cmsCloseProfile(profile); }
};
struct TransformDeleter
{
    void operator()(void* transform) const noexcept { cmsDeleteTransform(transform); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

// The ICC profile carried in APP2 markers, joined from its numbered pieces.
// Empty when there is none or its pieces do not make one whole: counts that
// disagree, a number out of range or seen twice, a piece missing.
std::vector<std::uint8_t> embeddedProfile(const jpeg_decompress_struct& cinfo)
{
    std::vector<const jpeg_marker_struct*> pieces;
    for (const jpeg_marker_struct* marker = cinfo.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker != kICCMarker || marker->data_length < kICCPrefixSize
            || std::memcmp(marker->data, kICCSignature, sizeof kICCSignature) != 0)
            continue;
        const unsigned sequence = marker->data[12];
        const unsigned count = marker->data[13];
        if (pieces.empty())
            pieces.assign(count + 1, nullptr);
        if (count + 1 != pieces.size() || sequence == 0 || sequence > count || pieces[sequence] != nullptr)
            return {};
        pieces[sequence] = marker;
    }
    std::vector<std::uint8_t> profile;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        if (pieces[i] == nullptr)
            return {};
        profile.insert(profile.end(), pieces[i]->data + kICCPrefixSize, pieces[i]->data + pieces[i]->data_length);
    }
    return profile;
}

// CMYK without a profile: the plain complement of ink, which is what a
// viewer without colour management shows. Files with an Adobe marker store
// the values inverted (255 is no ink).
void convertCMYKRow(const JSAMPLE* cmyk, std::uint32_t* row, JDIMENSION width, bool inverted) noexcept
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
        row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
}

} // namespace

bool Picture::readJPG(GP::Stream& stream, eOrientation, bool detectAlpha)
{
    JPGErrorManager errors;
    JPGProgress progress;
    JPGSourceManager source;
    JPGDecompressor decompressor;
    j_decompress_ptr cinfo = &decompressor.cinfo;
    cinfo->err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JPGErrorManager::errorExitHandler;

    int headerResult = 0;
    if (!DETAIL::runGuarded(errors.jump, [cinfo, &decompressor, &source, &stream, &headerResult] {
            jpeg_create_decompress(cinfo);
            decompressor.markCreated();
            // libjpeg has no backing store here: a picture that needs more
            // fails in jpeg_start_decompress, before the memory is taken.
            cinfo->mem->max_memory_to_use = DETAIL::kMaxJPEGMemory;
            source.attach(cinfo, stream);
            jpeg_save_markers(cinfo, kICCMarker, 0xFFFF);
            headerResult = jpeg_read_header(cinfo, TRUE);
        }))
        return false;
    if (headerResult != JPEG_HEADER_OK
        || !DETAIL::acceptableJPEGSize(cinfo->image_width, cinfo->image_height, std::uint64_t(cinfo->num_components)))
        return false;
    progress.scanLimit = DETAIL::jpegScanLimit(std::uint64_t(cinfo->image_width) * cinfo->image_height
                                               * std::uint64_t(cinfo->num_components));
    progress.progress.progress_monitor = JPGProgress::limitScans;
    cinfo->progress = &progress.progress;

    // Grey, RGB and YCbCr without colour management come out of libjpeg as
    // the picture's own words; CMYK and anything with a profile go through a
    // row of samples first.
    bool useProfile = false;
    cmsUInt32Number inputFormat = 0;
    cmsColorSpaceSignature profileSpace = cmsSigRgbData;
    const bool adobeInverted = cinfo->saw_Adobe_marker != 0;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
        cinfo->out_color_space = JCS_EXT_BGRA;
        break;
    case JCS_RGB:
        cinfo->out_color_space = JCS_EXT_BGRA;
        useProfile = true;
        inputFormat = COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(1);
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        useProfile = true;
        profileSpace = cmsSigCmykData;
        inputFormat = COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | BYTES_SH(1) | FLAVOR_SH(adobeInverted ? 1 : 0);
        break;
    default:
        return false;
    }

    TransformHandle transform;
    if (useProfile) {
        const std::vector<std::uint8_t> iccData = embeddedProfile(*cinfo);
        if (!iccData.empty()) {
            const ProfileHandle profile(cmsOpenProfileFromMem(iccData.data(), cmsUInt32Number(iccData.size())));
            if (!profile || cmsGetColorSpace(profile.get()) != profileSpace)
                return false;
            const ProfileHandle sRGB(cmsCreate_sRGBProfile());
            if (!sRGB)
                return false;
            transform.reset(
                cmsCreateTransform(profile.get(), inputFormat, sRGB.get(), TYPE_BGRA_8, INTENT_PERCEPTUAL, 0));
            if (!transform)
                return false;
            if (cinfo->out_color_space == JCS_EXT_BGRA)
                cinfo->out_color_space = JCS_RGB;
        }
    }

    int started = 0;
    if (!DETAIL::runGuarded(errors.jump, [cinfo, &started] { started = jpeg_start_decompress(cinfo); }) || !started)
        return false;
    const int expectedComponents = cinfo->out_color_space == JCS_RGB ? 3 : 4;
    if (cinfo->output_components != expectedComponents
        || !DETAIL::acceptablePictureSize(cinfo->output_width, cinfo->output_height))
        return false;

    Picture decoded;
    if (!decoded.setSize(int(cinfo->output_width), int(cinfo->output_height), true))
        return false;
    // Samples land straight in the picture when libjpeg gives its words,
    // else in a row of their own to be converted.
    const bool direct = cinfo->out_color_space == JCS_EXT_BGRA;
    std::vector<JSAMPLE> samples(direct ? 0 : std::size_t(cinfo->output_width) * std::size_t(expectedComponents));
    if (transform)
        std::memset(decoded.getPixels(), 0xFF, std::size_t(decoded.getWidth()) * std::size_t(decoded.getHeight()) * 4);
    JSAMPLE* const sampleRow = samples.data();
    Picture* const target = &decoded;
    void* const transformHandle = transform.get();

    bool complete = false;
    DETAIL::runGuarded(errors.jump, [=, &complete] {
        while (cinfo->output_scanline < cinfo->output_height) {
            const int y = int(cinfo->output_scanline);
            std::uint32_t* const row = target->getRow(y);
            JSAMPROW into = direct ? reinterpret_cast<JSAMPROW>(row) : sampleRow;
            if (jpeg_read_scanlines(cinfo, &into, 1) != 1)
                return;
            if (transformHandle != nullptr)
                cmsDoTransform(transformHandle, sampleRow, row, cinfo->output_width);
            else if (!direct)
                convertCMYKRow(sampleRow, row, cinfo->output_width, adobeInverted);
        }
        complete = true;
        // A file that stops right behind its last row still gave every
        // pixel; whether its end marker arrives does not matter.
        jpeg_finish_decompress(cinfo);
    });
    if (!complete)
        return false;

    adoptPixels(decoded);
    if (detectAlpha)
        setAlphaChannel(false);
    return true;
}

} // namespace QV::UIA
