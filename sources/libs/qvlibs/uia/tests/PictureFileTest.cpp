#include "PictureFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>

#include <lcms2.h>
#include <zlib.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own interface; GCC 12 ships no header for it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
#endif

using QV::UIA::Picture;
using QV::UIA::PictureProperties;
using QV::UIA::Test::Bytes;
using QV::UIA::Test::load;
using QV::UIA::Test::pixelBytes;

namespace {

// A TGA file: the 18-byte header, an image ID, a colour map and the data.
Bytes tga(std::uint8_t type, std::uint8_t depth, std::uint16_t width, std::uint16_t height, std::uint8_t descriptor,
          const Bytes& data, const Bytes& id = {}, std::uint16_t mapEntries = 0)
{
    Bytes file{std::uint8_t(id.size()), std::uint8_t(mapEntries > 0 ? 1 : 0), type,
               0, 0, std::uint8_t(mapEntries), std::uint8_t(mapEntries >> 8), std::uint8_t(mapEntries > 0 ? 24 : 0),
               0, 0, 0, 0,
               std::uint8_t(width), std::uint8_t(width >> 8), std::uint8_t(height), std::uint8_t(height >> 8),
               depth, descriptor};
    file.insert(file.end(), id.begin(), id.end());
    file.insert(file.end(), std::size_t(mapEntries) * 3, 0x5A);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

std::vector<std::uint32_t> words(const Picture& picture)
{
    const std::uint32_t* p = picture.getPixels();
    return std::vector<std::uint32_t>(p, p + std::size_t(picture.getWidth()) * std::size_t(picture.getHeight()));
}

// A picture that a failed read must leave exactly as it is.
void loadMarker(Picture& picture)
{
    ASSERT_TRUE(load(picture, tga(2, 32, 1, 1, 0x28, {1, 2, 3, 4})));
    ASSERT_EQ(words(picture), std::vector<std::uint32_t>{0x04030201});
}

void expectMarker(const Picture& picture)
{
    EXPECT_EQ(picture.getWidth(), 1);
    EXPECT_EQ(picture.getHeight(), 1);
    EXPECT_TRUE(picture.getAlphaChannel());
    ASSERT_NE(picture.getPixels(), nullptr);
    EXPECT_EQ(picture.getPixels()[0], 0x04030201u);
}

#if defined(__SANITIZE_ADDRESS__)
std::atomic<bool> s_watching{false};
std::atomic<std::size_t> s_largest{0};

void noteAllocation(const volatile void*, std::size_t size)
{
    if (!s_watching)
        return;
    std::size_t seen = s_largest;
    while (size > seen && !s_largest.compare_exchange_weak(seen, size)) {
    }
}

void noteFree(const volatile void*) {}
#endif

// The largest single allocation of the process while `work` runs, libjpeg's
// own included, as AddressSanitizer's allocation hooks see it; none in a
// build without it.
std::optional<std::size_t> largestAllocationDuring(const std::function<void()>& work)
{
#if defined(__SANITIZE_ADDRESS__)
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree) != 0;
    s_largest = 0;
    s_watching = true;
    work();
    s_watching = false;
    if (hooked)
        return s_largest.load();
#else
    work();
#endif
    return std::nullopt;
}

// What a refused file may cost in one allocation: the reader's buffers, and
// never the picture its header claims.
constexpr std::size_t kRefusalCost = std::size_t(1) << 20;

// The bytes must be refused, cheaply, and the picture read into left as it
// was.
void expectRefused(const Bytes& bytes, const std::string& what = {}, std::size_t mostAllocated = kRefusalCost)
{
    Picture picture;
    loadMarker(picture);
    bool loaded = true;
    const auto largest = largestAllocationDuring([&] { loaded = load(picture, bytes); });
    EXPECT_FALSE(loaded) << what;
    if (largest) {
        EXPECT_LE(*largest, mostAllocated) << what;
    }
    expectMarker(picture);
}

Bytes cut(const Bytes& whole, std::size_t size)
{
    return Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(size));
}

const Bytes k32BitRows = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 128, 10, 11, 12, 255};

TEST(PictureFileTest, TGAOrientationImageIDColourMapAndDepths)
{
    Picture picture;
    ASSERT_TRUE(load(picture, tga(2, 32, 2, 2, 0x08, k32BitRows)));
    EXPECT_EQ(words(picture), (std::vector<std::uint32_t>{0x80090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504}));
    EXPECT_TRUE(picture.getAlphaChannel());
    ASSERT_TRUE(load(picture, tga(2, 32, 2, 2, 0x28, k32BitRows)));
    EXPECT_EQ(words(picture), (std::vector<std::uint32_t>{0xFF030201, 0xFF060504, 0x80090807, 0xFF0C0B0A}));
    const auto topFirst = words(picture);

    ASSERT_TRUE(load(picture, tga(2, 32, 2, 2, 0x28, k32BitRows, {9, 9, 9, 9, 9})));
    EXPECT_EQ(words(picture), topFirst);
    ASSERT_TRUE(load(picture, tga(2, 32, 2, 2, 0x28, k32BitRows, {7}, 3)));
    EXPECT_EQ(words(picture), topFirst) << "the colour map lies between the ID and the pixels";

    ASSERT_TRUE(load(picture, tga(2, 24, 2, 1, 0x20, {1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(words(picture), (std::vector<std::uint32_t>{0xFF030201, 0xFF060504}));
    EXPECT_FALSE(picture.getAlphaChannel());

    ASSERT_TRUE(load(picture, tga(2, 16, 3, 1, 0x20, {0xFF, 0x7F, 0, 0, 0x00, 0x80})));
    EXPECT_EQ(words(picture), (std::vector<std::uint32_t>{0xFFF8F8F8, 0, 0xFF000000}));
    EXPECT_TRUE(picture.getAlphaChannel()) << "a 16-bit value of 0 is transparent";

    // Without detectAlpha the flag is left as it was.
    picture.setAlphaChannel(true);
    ASSERT_TRUE(load(picture, tga(2, 24, 2, 1, 0x20, {1, 2, 3, 4, 5, 6}), false));
    EXPECT_TRUE(picture.getAlphaChannel());

    // A picture of no pixels is a picture.
    ASSERT_TRUE(load(picture, tga(2, 32, 0, 0, 0x28, {})));
    EXPECT_EQ(picture.getWidth(), 0);
    EXPECT_EQ(picture.getHeight(), 0);
}

TEST(PictureFileTest, TGARunLengthAtEveryDepthMatchesUncompressed)
{
    for (const std::uint8_t depth : {16, 24, 32}) {
        SCOPED_TRACE(int(depth));
        const std::size_t size = depth / 8u;
        // Seven pixels: a run of three, a literal of two, and a run of four
        // cut to the two pixels that are left.
        Bytes pixelA(size), pixelB(size), pixelC(size), pixelD(size);
        for (std::size_t i = 0; i < size; ++i) {
            pixelA[i] = std::uint8_t(0x11 + i);
            pixelB[i] = std::uint8_t(0x40 + i);
            pixelC[i] = std::uint8_t(0x80 + i);
            pixelD[i] = std::uint8_t(0xF0 + i);
        }
        Bytes packed{0x82};
        packed.insert(packed.end(), pixelA.begin(), pixelA.end());
        packed.push_back(0x01);
        packed.insert(packed.end(), pixelB.begin(), pixelB.end());
        packed.insert(packed.end(), pixelC.begin(), pixelC.end());
        packed.push_back(0x83);
        packed.insert(packed.end(), pixelD.begin(), pixelD.end());
        Bytes plain;
        for (const Bytes* p : {&pixelA, &pixelA, &pixelA, &pixelB, &pixelC, &pixelD, &pixelD})
            plain.insert(plain.end(), p->begin(), p->end());

        Picture fromRLE, fromPlain;
        ASSERT_TRUE(load(fromRLE, tga(10, depth, 7, 1, 0x20, packed)));
        ASSERT_TRUE(load(fromPlain, tga(2, depth, 7, 1, 0x20, plain)));
        EXPECT_EQ(words(fromRLE), words(fromPlain));

        // Every file cut short fails, and fails without touching the picture.
        for (const Bytes& whole : {tga(10, depth, 7, 1, 0x20, packed), tga(2, depth, 7, 1, 0x20, plain)})
            for (std::size_t size = 0; size < whole.size(); ++size)
                expectRefused(cut(whole, size), "cut to " + std::to_string(size));

        // The fewest bytes that can fill a picture, runs of 128 pixels, are
        // enough.
        Bytes runs;
        for (int i = 0; i < 300 * 2 / 128 + 1; ++i) {
            runs.push_back(0xFF);
            runs.insert(runs.end(), pixelC.begin(), pixelC.end());
        }
        Picture filled;
        ASSERT_TRUE(load(filled, tga(10, depth, 300, 2, 0x20, runs)));
        EXPECT_EQ(words(filled), std::vector<std::uint32_t>(600, words(fromPlain)[4]));
        runs.resize(runs.size() - 1);
        expectRefused(tga(10, depth, 300, 2, 0x20, runs), "one byte short");
    }
}

TEST(PictureFileTest, TGAHeadersThatCannotBeReadAreRefused)
{
    const Bytes pixel(4, 0xFF);
    Bytes badMapType = tga(2, 32, 1, 1, 0x28, pixel);
    badMapType[1] = 2;
    // Runs of 128 pixels, 5 bytes each, give far fewer pixels than claimed.
    Bytes runs;
    for (int i = 0; i < 1000; ++i)
        runs.insert(runs.end(), {0xFF, 1, 2, 3, 4});
    for (const Bytes& file : {tga(1, 32, 1, 1, 0x28, pixel), tga(3, 8, 1, 1, 0x28, pixel), tga(9, 32, 1, 1, 0x28, pixel),
                              tga(2, 8, 1, 1, 0x28, pixel), tga(2, 15, 1, 1, 0x28, pixel), tga(2, 32, 1, 1, 0xE8, pixel),
                              tga(2, 32, 65535, 65535, 0x28, pixel), tga(10, 32, 40000, 2, 0x28, pixel), badMapType,
                              tga(2, 32, 16384, 4096, 0x28, {}), tga(2, 24, 16384, 4096, 0x28, pixel),
                              tga(10, 32, 16384, 4096, 0x28, runs)})
        expectRefused(file);
}

TEST(PictureFileTest, DetectionStartsEachReaderWhereTheStreamStood)
{
    const Bytes jpeg = QV::UIA::Test::writeJPEG(16, 8, JCS_RGB, QV::UIA::Test::patchSamples(16, 8, 3), {}, 90);
    const Bytes targa = tga(2, 32, 2, 2, 0x28, k32BitRows);
    for (const Bytes* file : {&jpeg, &targa}) {
        Bytes withPrefix{'x', 'y', 'z'};
        withPrefix.insert(withPrefix.end(), file->begin(), file->end());
        QV::GP::MemoryStream stream;
        stream.getMemoryStorage().init(QV::GP::IStorage::eAccessRead, static_cast<const void*>(withPrefix.data()),
                                       withPrefix.size());
        stream.getStorage()->seek(3, QV::GP::IStorage::eSeekFromStart);
        Picture fromPrefix, plain;
        ASSERT_TRUE(fromPrefix.readDetect(stream, PictureProperties::eVertical, true));
        ASSERT_TRUE(load(plain, *file));
        EXPECT_EQ(pixelBytes(fromPrefix), pixelBytes(plain));
        EXPECT_GT(fromPrefix.getWidth(), 1);
    }

    expectRefused(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    expectRefused(Bytes{});
    Picture picture;
    loadMarker(picture);
    QV::GP::MemoryStream noStorage;
    noStorage.setStorage(nullptr);
    EXPECT_FALSE(picture.readDetect(noStorage, PictureProperties::eVertical, true));
    expectMarker(picture);
}

// The smallest PNG of one opaque white RGB pixel, written by hand so that its
// header can be altered; the chunk CRCs are not checked before the header is.
Bytes tinyPNG(std::uint32_t width, std::uint32_t height)
{
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (const std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(std::uint8_t(v >> shift));
    png.insert(png.end(), {8, 2, 0, 0, 0});
    const std::uint32_t crc = crc32(0, png.data() + 12, 17);
    for (int shift = 24; shift >= 0; shift -= 8)
        png.push_back(std::uint8_t(crc >> shift));
    // zlib stream of the row: filter 0, then FF FF FF.
    const Bytes idat{0, 0, 0, 12, 'I', 'D', 'A', 'T', 0x78, 0x9C, 0x63, 0xF8, 0xFF, 0xFF, 0x3F, 0x00, 0x05, 0xFE, 0x02, 0xFE};
    png.insert(png.end(), idat.begin(), idat.end());
    const std::uint32_t idatCRC = crc32(0, idat.data() + 4, 16);
    for (int shift = 24; shift >= 0; shift -= 8)
        png.push_back(std::uint8_t(idatCRC >> shift));
    png.insert(png.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
    return png;
}

TEST(PictureFileTest, PNGCutShortOrTooLargeFailsAndLeavesThePicture)
{
    Picture picture;
    ASSERT_TRUE(load(picture, tinyPNG(1, 1)));
    EXPECT_EQ(words(picture), std::vector<std::uint32_t>{0xFFFFFFFF});
    EXPECT_FALSE(picture.getAlphaChannel());

    const Bytes whole = tinyPNG(1, 1);
    for (std::size_t size = 8; size < whole.size(); ++size)
        expectRefused(cut(whole, size), "cut to " + std::to_string(size));
    expectRefused(tinyPNG(100000, 1));
    expectRefused(tinyPNG(16384, 16384));
}

Bytes profileBytes(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// A wide-gamut RGB profile, so that converting from it changes colours.
Bytes wideGamutProfile()
{
    cmsCIExyY white{0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries{{0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    const Bytes bytes = profileBytes(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(gamma);
    return bytes;
}

Bytes cmykLinkProfile()
{
    cmsToneCurve* identity = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[4] = {identity, identity, identity, identity};
    const Bytes bytes = profileBytes(cmsCreateLinearizationDeviceLink(cmsSigCmykData, curves));
    cmsFreeToneCurve(identity);
    return bytes;
}

TEST(PictureFileTest, JPEGProfilesAreUsedOnlyWhenWholeAndFitting)
{
    using QV::UIA::Test::iccMarkers;
    using QV::UIA::Test::writeJPEG;
    const Bytes rgb = QV::UIA::Test::patchSamples(32, 16, 3);
    const Bytes wide = wideGamutProfile();
    Picture plain, converted, picture;
    ASSERT_TRUE(load(plain, writeJPEG(32, 16, JCS_RGB, rgb)));
    ASSERT_TRUE(load(converted, writeJPEG(32, 16, JCS_RGB, rgb, iccMarkers(wide, 3))));
    EXPECT_NE(pixelBytes(converted), pixelBytes(plain)) << "the profile must change the colours";

    ASSERT_TRUE(load(picture, writeJPEG(32, 16, JCS_RGB, rgb, iccMarkers(wide, 3, {1, 3, 3}))));
    EXPECT_EQ(pixelBytes(picture), pixelBytes(plain)) << "pieces 1, 3 of 3 are no profile";
    ASSERT_TRUE(load(picture, writeJPEG(32, 16, JCS_RGB, rgb, iccMarkers(wide, 3, {1, 2, 0}))));
    EXPECT_EQ(pixelBytes(picture), pixelBytes(plain));
    std::vector<Bytes> shuffled = iccMarkers(wide, 3);
    std::rotate(shuffled.begin(), shuffled.begin() + 2, shuffled.end());
    ASSERT_TRUE(load(picture, writeJPEG(32, 16, JCS_RGB, rgb, shuffled)));
    EXPECT_EQ(pixelBytes(picture), pixelBytes(converted)) << "pieces may come in any order";

    // A YCbCr file keeps its colours whatever profile it carries.
    Picture ycc, yccWithProfile;
    ASSERT_TRUE(load(ycc, writeJPEG(32, 16, JCS_YCbCr, rgb)));
    ASSERT_TRUE(load(yccWithProfile, writeJPEG(32, 16, JCS_YCbCr, rgb, iccMarkers(wide, 1))));
    EXPECT_EQ(pixelBytes(ycc), pixelBytes(yccWithProfile));

    expectRefused(writeJPEG(32, 16, JCS_RGB, rgb, iccMarkers(cmykLinkProfile(), 1)),
                  "a CMYK profile cannot describe an RGB file");
}

TEST(PictureFileTest, JPEGInCMYKWithoutProfileAndCutShort)
{
    // Adobe's inverted convention: 255 is no ink. Cyan-free, full magenta
    // and yellow, no black: red.
    Bytes cmyk;
    for (int i = 0; i < 16 * 16; ++i)
        cmyk.insert(cmyk.end(), {255, 0, 0, 255});
    Picture picture;
    ASSERT_TRUE(load(picture, QV::UIA::Test::writeJPEG(16, 16, JCS_CMYK, cmyk)));
    for (const std::uint32_t word : words(picture)) {
        EXPECT_GE(word >> 16 & 0xFF, 253u);
        EXPECT_LE(word >> 8 & 0xFF, 2u);
        EXPECT_LE(word & 0xFF, 2u);
        EXPECT_EQ(word >> 24, 0xFFu);
    }

    const Bytes whole = QV::UIA::Test::writeJPEG(64, 64, JCS_YCbCr, QV::UIA::Test::patchSamples(64, 64, 3), {}, 90);
    for (const std::size_t size : {std::size_t(2), std::size_t(100), whole.size() / 2, whole.size() - 40})
        expectRefused(cut(whole, size), "cut to " + std::to_string(size));
}

// A grey progressive script that sends each AC coefficient in bits + 1
// scans, one bit after another: 63 x (bits + 1) + 1 scans in all.
std::vector<jpeg_scan_info> bitByBitScans(int bits)
{
    std::vector<jpeg_scan_info> scans{{1, {0, 0, 0, 0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0, 0, 0, 0}, k, k, 0, bits});
        for (int bit = bits; bit > 0; --bit)
            scans.push_back({1, {0, 0, 0, 0}, k, k, bit, bit - 1});
    }
    return scans;
}

// A progressive JPEG whose scans carry no coded data, which libjpeg reads as
// all zero: a few bytes a scan, whatever size the file claims. One DC scan of
// all components, then AC scans of one component after another.
Bytes emptyProgressiveJPEG(std::uint16_t width, std::uint16_t height, std::uint8_t components, int acScans)
{
    Bytes file{0xFF, 0xD8};
    auto segment = [&](std::uint8_t marker, const Bytes& body) {
        const std::size_t length = body.size() + 2;
        file.insert(file.end(), {0xFF, marker, std::uint8_t(length >> 8), std::uint8_t(length)});
        file.insert(file.end(), body.begin(), body.end());
    };
    Bytes quantisation(65, 1);
    quantisation[0] = 0;
    segment(0xDB, quantisation);
    Bytes frame{8, std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8), std::uint8_t(width),
                components};
    for (std::uint8_t c = 1; c <= components; ++c)
        frame.insert(frame.end(), {c, 0x11, 0});
    segment(0xC2, frame);
    // A DC and an AC table of one one-bit code each: difference 0, end of band.
    for (const std::uint8_t table : {0x00, 0x10}) {
        Bytes huffman(18, 0);
        huffman[0] = table;
        huffman[1] = 1;
        segment(0xC4, huffman);
    }
    Bytes dc{components};
    for (std::uint8_t c = 1; c <= components; ++c)
        dc.insert(dc.end(), {c, 0x00});
    dc.insert(dc.end(), {0, 0, 0});
    segment(0xDA, dc);
    for (int i = 0; i < acScans; ++i)
        segment(0xDA, {1, std::uint8_t(1 + i % components), 0x00, 1, 63, 0});
    file.insert(file.end(), {0xFF, 0xD9});
    return file;
}

TEST(PictureFileTest, JPEGThatWouldCostFarMoreThanItHoldsIsRefused)
{
    const Bytes grey = QV::UIA::Test::patchSamples(32, 32, 1);
    Picture picture;
    ASSERT_TRUE(load(picture, QV::UIA::Test::writeJPEG(32, 32, JCS_GRAYSCALE, grey, {}, 90, bitByBitScans(5))))
        << "379 scans";
    ASSERT_TRUE(load(picture, emptyProgressiveJPEG(64, 32, 3, 9)));
    EXPECT_EQ(words(picture), std::vector<std::uint32_t>(64 * 32, 0xFF808080)) << "empty scans read as zero";

    const struct {
        const char* what;
        Bytes file;
        std::size_t mostAllocated;
    } rows[] = {
        {"631 scans", QV::UIA::Test::writeJPEG(32, 32, JCS_GRAYSCALE, grey, {}, 90, bitByBitScans(9)), kRefusalCost},
        // 18 KB that claim 16384 x 4096 in colour: refused before decoding.
        {"too many samples", emptyProgressiveJPEG(16384, 4096, 3, 1785), kRefusalCost},
        // Few enough samples, but the coefficients of so many would take
        // 267 MB of libjpeg's memory.
        {"libjpeg's memory", emptyProgressiveJPEG(8192, 5440, 3, 3), kRefusalCost},
        // 300 scans are many for 16 megapixels: refused after those the
        // limit allows, without making the picture.
        {"scans over 4096 x 4096", emptyProgressiveJPEG(4096, 4096, 1, 300), std::size_t(40) << 20},
    };
    for (const auto& row : rows)
        expectRefused(row.file, row.what, row.mostAllocated);
}

} // namespace
