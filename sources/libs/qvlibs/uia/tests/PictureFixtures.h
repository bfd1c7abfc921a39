// Helpers of the picture-file tests: loading bytes through a memory stream,
// and writing JPEG files whose colour space and APP2 markers the test
// chooses, which no command-line tool offers.
#pragma once

#include <QV/GP/MemoryStream.h>
#include <QV/UIA/Picture.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace QV::UIA::Test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Reads the bytes with readDetect, in the byte order the resource manager
// uses.
inline bool load(Picture& picture, const Bytes& bytes, bool detectAlpha = true)
{
    GP::MemoryStream stream;
    stream.getMemoryStorage().init(GP::IStorage::eAccessRead, static_cast<const void*>(bytes.data()), bytes.size());
    return picture.readDetect(stream, PictureProperties::eVertical, detectAlpha);
}

// The picture's pixels as bytes in memory order (blue, green, red, alpha).
inline Bytes pixelBytes(const Picture& picture)
{
    const auto* begin = reinterpret_cast<const std::uint8_t*>(picture.getPixels());
    return Bytes(begin, begin + std::size_t(picture.getWidth()) * std::size_t(picture.getHeight()) * 4);
}

// An ICC profile cut into count APP2 marker bodies, numbered as given (one
// number per piece, 1 to count when empty).
inline std::vector<Bytes> iccMarkers(const Bytes& profile, unsigned count, std::vector<unsigned> numbers = {})
{
    if (numbers.empty())
        for (unsigned i = 1; i <= count; ++i)
            numbers.push_back(i);
    std::vector<Bytes> markers;
    const std::size_t piece = (profile.size() + count - 1) / count;
    for (unsigned i = 0; i < count; ++i) {
        Bytes body{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, std::uint8_t(numbers[i]), std::uint8_t(count)};
        const std::size_t from = std::min(profile.size(), i * piece);
        const std::size_t to = std::min(profile.size(), from + piece);
        body.insert(body.end(), profile.begin() + std::ptrdiff_t(from), profile.begin() + std::ptrdiff_t(to));
        markers.push_back(std::move(body));
    }
    return markers;
}

// A JPEG of the given samples (components per pixel by colour space), coded
// in that colour space, with the APP2 markers given. libjpeg writes an Adobe
// marker for RGB and CMYK files. A scan script makes a progressive file.
inline Bytes writeJPEG(int width, int height, J_COLOR_SPACE space, const Bytes& samples,
                       const std::vector<Bytes>& app2 = {}, int quality = 100,
                       const std::vector<jpeg_scan_info>& scans = {})
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = space == JCS_CMYK ? 4 : space == JCS_GRAYSCALE ? 1 : 3;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, space);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (!scans.empty()) {
        cinfo.scan_info = scans.data();
        cinfo.num_scans = int(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const Bytes& body : app2)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 2, body.data(), unsigned(body.size()));
    const std::size_t stride = std::size_t(width) * std::size_t(cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

// Samples of flat 16 x 16 patches, one colour per patch from a fixed
// sequence, so that chroma subsampling in a re-encoded copy loses nothing.
inline Bytes patchSamples(int width, int height, int components)
{
    Bytes samples(std::size_t(width) * std::size_t(height) * std::size_t(components));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned patch = unsigned((y / 16) * (width / 16) + x / 16);
            for (int c = 0; c < components; ++c)
                samples[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(components) + std::size_t(c)] =
                    std::uint8_t((patch * 67u + unsigned(c) * 101u + 23u) % 256u);
        }
    return samples;
}

} // namespace QV::UIA::Test
