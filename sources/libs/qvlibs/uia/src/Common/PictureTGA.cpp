#include <QV/UIA/Picture.h>

#include "Common/PictureDecoding.h"

#include <QV/GP/Endian.h>
#include <QV/GP/IStorage.h>
#include <QV/GP/Stream.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace QV::UIA {

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint8_t kTypeTrueColour = 2;
constexpr std::uint8_t kTypeTrueColourRLE = 10;
constexpr std::uint8_t kDescriptorTopFirst = 0x20;
// Bits 6 and 7 ask for interleaved rows, which no current writer produces.
constexpr std::uint8_t kDescriptorInterleave = 0xC0;

struct TGAHeader
{
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t colourMapLength = 0;
    std::uint8_t colourMapEntryBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelDepth = 0;
    std::uint8_t descriptor = 0;
};

// Reads the stream through a buffer of its own, so that run-length packets
// of one or two pixels do not each cost a call down to the storage. Every
// read says whether it got all its bytes.
class TGAInput
{
public:
    explicit TGAInput(GP::Stream& stream) : m_stream(stream) {}

    bool read(void* to, std::size_t count)
    {
        auto* out = static_cast<std::uint8_t*>(to);
        while (count > 0) {
            if (m_next == m_end && !refill())
                return false;
            const std::size_t step = std::min(count, std::size_t(m_end - m_next));
            std::memcpy(out, m_next, step);
            m_next += step;
            out += step;
            count -= step;
        }
        return true;
    }

    // The bytes left to read, those in the buffer and those behind the
    // storage's position; none when the storage cannot tell where it ends.
    std::optional<std::uint64_t> remaining()
    {
        GP::IStorage* storage = m_stream.getStorage();
        if (storage == nullptr)
            return std::nullopt;
        const long long at = storage->getPos64();
        if (at < 0 || !storage->seek64(0, GP::IStorage::eSeekFromEnd))
            return std::nullopt;
        const long long end = storage->getPos64();
        if (!storage->seek64(at, GP::IStorage::eSeekFromStart) || end < at)
            return std::nullopt;
        return std::uint64_t(end - at) + std::uint64_t(m_end - m_next);
    }

    bool skip(std::size_t count)
    {
        std::uint8_t scratch[256];
        while (count > 0) {
            const std::size_t step = std::min(count, sizeof scratch);
            if (!read(scratch, step))
                return false;
            count -= step;
        }
        return true;
    }

private:
    bool refill()
    {
        const std::size_t got = m_stream.readRaw(m_buffer, sizeof m_buffer);
        m_next = m_buffer;
        m_end = m_buffer + got;
        return got > 0;
    }

    GP::Stream& m_stream;
    std::uint8_t m_buffer[4096];
    const std::uint8_t* m_next = m_buffer;
    const std::uint8_t* m_end = m_buffer;
};

// The header's 16-bit fields are little-endian in the file; like the
// stream's own primitives, a stream in the other byte order reverses them.
bool readHeader(TGAInput& input, bool swap, TGAHeader& header)
{
    std::uint8_t bytes[kHeaderSize];
    if (!input.read(bytes, sizeof bytes))
        return false;
    auto u16 = [&](std::size_t at) {
        const auto value = std::uint16_t(bytes[at] | (bytes[at + 1] << 8));
        return swap ? std::uint16_t((value >> 8) | (value << 8)) : value;
    };
    header.idLength = bytes[0];
    header.colourMapType = bytes[1];
    header.imageType = bytes[2];
    header.colourMapLength = u16(5);
    header.colourMapEntryBits = bytes[7];
    header.width = u16(12);
    header.height = u16(14);
    header.pixelDepth = bytes[16];
    header.descriptor = bytes[17];
    return true;
}

bool validHeader(const TGAHeader& header)
{
    if (header.imageType != kTypeTrueColour && header.imageType != kTypeTrueColourRLE)
        return false;
    if (header.colourMapType > 1 || (header.descriptor & kDescriptorInterleave) != 0)
        return false;
    if (header.colourMapType == 1 && header.colourMapEntryBits > 32)
        return false;
    if (header.pixelDepth != 16 && header.pixelDepth != 24 && header.pixelDepth != 32)
        return false;
    return DETAIL::acceptablePictureSize(header.width, header.height);
}

// Fills count pixels of bytesPerPixel bytes each, stored as they are in the
// file, from run-length packets: a header byte of 128 or more repeats the
// one pixel behind it (header - 127) times, a smaller one is followed by
// header + 1 pixels. A packet that runs past the last pixel is cut there.
bool readRunLength(TGAInput& input, std::uint8_t* out, std::size_t count, std::size_t bytesPerPixel)
{
    std::size_t filled = 0;
    while (filled < count) {
        std::uint8_t packet = 0;
        if (!input.read(&packet, 1))
            return false;
        const std::size_t run = std::min<std::size_t>((packet & 0x7F) + 1u, count - filled);
        std::uint8_t* at = out + filled * bytesPerPixel;
        if (packet & 0x80) {
            std::uint8_t pixel[4];
            if (!input.read(pixel, bytesPerPixel))
                return false;
            for (std::size_t i = 0; i < run; ++i, at += bytesPerPixel)
                std::memcpy(at, pixel, bytesPerPixel);
        } else if (!input.read(at, run * bytesPerPixel)) {
            return false;
        }
        filled += run;
    }
    return true;
}

std::uint32_t expand16(std::uint16_t value) noexcept
{
    // The top bit carries nothing here; a value of 0 is the one transparent
    // colour.
    if (value == 0)
        return 0;
    const std::uint32_t r = (value >> 10) & 31, g = (value >> 5) & 31, b = value & 31;
    return 0xFF000000u | (r << 19) | (g << 11) | (b << 3);
}

} // namespace

bool Picture::readTGA(GP::Stream& stream, eOrientation, bool detectAlpha)
{
    const bool swap = stream.getByteOrder() != GP::Endian::eLittleEndian;
    TGAInput input(stream);
    TGAHeader header;
    if (!readHeader(input, swap, header) || !validHeader(header) || !input.skip(header.idLength))
        return false;
    // A colour map is of no use to true-colour pixels, but it lies between
    // the header and them.
    if (header.colourMapType == 1
        && !input.skip(std::size_t(header.colourMapLength) * ((header.colourMapEntryBits + 7u) / 8u)))
        return false;

    const int width = header.width;
    const int height = header.height;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    const std::size_t bytesPerPixel = header.pixelDepth / 8u;
    // A header may claim any size: the picture is made only when the stream
    // holds enough bytes to fill it, so that a file costs no more than the
    // pixels it could give.
    const bool runLength = header.imageType == kTypeTrueColourRLE;
    const auto left = input.remaining();
    if (!left || !DETAIL::tgaDataCanFill(count, bytesPerPixel, runLength, *left))
        return false;
    // A file without pixels gives an empty picture, which has no buffer to
    // size.
    Picture decoded;
    if (count > 0 && !decoded.setSize(width, height, true))
        return false;
    auto* const words = decoded.getPixels();

    // Pixels are read in their file form, 32-bit ones straight into the
    // picture, the narrower ones into a row of bytes expanded afterwards.
    std::vector<std::uint8_t> narrow(bytesPerPixel == 4 ? 0 : count * bytesPerPixel);
    std::uint8_t* const raw = bytesPerPixel == 4 ? reinterpret_cast<std::uint8_t*>(words) : narrow.data();
    const bool read =
        runLength ? readRunLength(input, raw, count, bytesPerPixel) : input.read(raw, count * bytesPerPixel);
    if (!read)
        return false;

    bool translucent = false;
    switch (header.pixelDepth) {
    case 32:
        if (swap)
            for (std::size_t i = 0; i < count; ++i)
                words[i] = __builtin_bswap32(words[i]);
        translucent = DETAIL::hasTranslucentPixel(decoded);
        break;
    case 24:
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = raw + i * 3;
            words[i] = 0xFF000000u | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
        }
        break;
    default:
        for (std::size_t i = 0; i < count; ++i) {
            auto value = std::uint16_t(raw[i * 2] | (raw[i * 2 + 1] << 8));
            if (swap)
                value = std::uint16_t((value >> 8) | (value << 8));
            words[i] = expand16(value);
            translucent = translucent || value == 0;
        }
        break;
    }

    if ((header.descriptor & kDescriptorTopFirst) == 0)
        for (int y = 0; y < height / 2; ++y)
            std::swap_ranges(decoded.getRow(y), decoded.getRow(y) + width, decoded.getRow(height - 1 - y));

    adoptPixels(decoded);
    if (detectAlpha)
        setAlphaChannel(translucent);
    return true;
}

} // namespace QV::UIA
