// Decoding typical pictures of the user interface with the picture readers,
// against the libraries' own simplified decoders into the same 32-bit
// blue-green-red-alpha layout: the readers' overhead over the codecs.
#include <QV/GP/MemoryStream.h>
#include <QV/UIA/Picture.h>

#include <benchmark/benchmark.h>

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Size
{
    int width;
    int height;
};

// An icon, a panel background and a photograph-sized picture.
constexpr Size kSizes[] = {{128, 128}, {480, 320}, {1024, 768}};

// Smooth gradients with some noise, compressing about as well as drawn
// artwork does; alpha fades out towards the right edge.
Bytes artwork(Size size, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    Bytes pixels(std::size_t(size.width) * std::size_t(size.height) * 4);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            std::uint8_t* p = &pixels[(std::size_t(y) * std::size_t(size.width) + std::size_t(x)) * 4];
            p[0] = std::uint8_t(std::clamp(x * 255 / size.width + noise(random), 0, 255));
            p[1] = std::uint8_t(std::clamp(y * 255 / size.height + noise(random), 0, 255));
            p[2] = std::uint8_t(std::clamp((x + y) * 128 / (size.width + size.height) + 64 + noise(random), 0, 255));
            p[3] = std::uint8_t(std::clamp(255 - x * 64 / size.width, 0, 255));
        }
    return pixels;
}

Bytes encodePNG(Size size)
{
    const Bytes pixels = artwork(size, 1);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(size.width);
    image.height = png_uint_32(size.height);
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t length = 0;
    png_image_write_to_memory(&image, nullptr, &length, 0, pixels.data(), 0, nullptr);
    Bytes file(length);
    if (!png_image_write_to_memory(&image, file.data(), &length, 0, pixels.data(), 0, nullptr))
        throw std::runtime_error("png_image_write_to_memory failed");
    file.resize(length);
    return file;
}

Bytes encodeJPEG(Size size)
{
    const Bytes pixels = artwork(size, 2);
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    if (tjCompress2(handle, pixels.data(), size.width, 0, size.height, TJPF_BGRA, &buffer, &length, TJSAMP_420, 85, 0)
        != 0)
        throw std::runtime_error("tjCompress2 failed");
    Bytes file(buffer, buffer + length);
    tjFree(buffer);
    tjDestroy(handle);
    return file;
}

// The artwork as a bottom-up 32-bit TGA, uncompressed (type 2) or in
// run-length packets of at most 128 pixels (type 10), runs where neighbours
// repeat and literal packets elsewhere.
Bytes encodeTGA(Size size, bool runLength)
{
    const Bytes pixels = artwork(size, 3);
    Bytes file{0, 0, std::uint8_t(runLength ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0,
               std::uint8_t(size.width), std::uint8_t(size.width >> 8), std::uint8_t(size.height),
               std::uint8_t(size.height >> 8), 32, 0x08};
    if (!runLength) {
        file.insert(file.end(), pixels.begin(), pixels.end());
        return file;
    }
    const std::size_t count = pixels.size() / 4;
    auto same = [&](std::size_t a, std::size_t b) {
        return std::equal(&pixels[a * 4], &pixels[a * 4 + 4], &pixels[b * 4]);
    };
    for (std::size_t i = 0; i < count;) {
        std::size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run))
            ++run;
        if (run > 1) {
            file.push_back(std::uint8_t(0x80 | (run - 1)));
            file.insert(file.end(), &pixels[i * 4], &pixels[i * 4 + 4]);
        } else {
            std::size_t literal = 1;
            // A literal packet stops where a run of two begins.
            while (i + literal < count && literal < 128
                   && (i + literal + 1 >= count || !same(i + literal, i + literal + 1)))
                ++literal;
            file.push_back(std::uint8_t(literal - 1));
            file.insert(file.end(), &pixels[i * 4], &pixels[(i + literal) * 4]);
            run = literal;
        }
        i += run;
    }
    return file;
}

template <bool (QV::UIA::Picture::*Read)(QV::GP::Stream&, QV::UIA::PictureProperties::eOrientation, bool)>
void decodeWithReader(benchmark::State& state, const Bytes& file)
{
    QV::UIA::Picture picture;
    for (auto _ : state) {
        QV::GP::MemoryStream stream;
        stream.getMemoryStorage().init(QV::GP::IStorage::eAccessRead, static_cast<const void*>(file.data()),
                                       file.size());
        if (!(picture.*Read)(stream, QV::UIA::PictureProperties::eVertical, true))
            state.SkipWithError("the reader failed");
        benchmark::DoNotOptimize(picture.getPixels());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(file.size()));
}

void PNGReader(benchmark::State& state)
{
    const Bytes file = encodePNG(kSizes[state.range(0)]);
    decodeWithReader<&QV::UIA::Picture::readPNG>(state, file);
}

void PNGSimplified(benchmark::State& state)
{
    const Size size = kSizes[state.range(0)];
    const Bytes file = encodePNG(size);
    // The reader allocates its picture on every read, so this does too.
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, file.data(), file.size());
        image.format = PNG_FORMAT_BGRA;
        Bytes pixels(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
            state.SkipWithError("png_image_finish_read failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(file.size()));
}

void JPEGReader(benchmark::State& state)
{
    const Bytes file = encodeJPEG(kSizes[state.range(0)]);
    decodeWithReader<&QV::UIA::Picture::readJPG>(state, file);
}

void JPEGTurbo(benchmark::State& state)
{
    const Size size = kSizes[state.range(0)];
    const Bytes file = encodeJPEG(size);
    // A handle per picture, as the reader sets up its decompressor per read.
    for (auto _ : state) {
        tjhandle handle = tjInitDecompress();
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        tjDecompressHeader3(handle, file.data(), file.size(), &width, &height, &subsampling, &colourspace);
        Bytes pixels(std::size_t(width) * std::size_t(height) * 4);
        if (tjDecompress2(handle, file.data(), file.size(), pixels.data(), width, 0, height, TJPF_BGRA, 0) != 0)
            state.SkipWithError("tjDecompress2 failed");
        benchmark::DoNotOptimize(pixels.data());
        tjDestroy(handle);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(file.size()));
}

void TGAReader(benchmark::State& state)
{
    const Bytes file = encodeTGA(kSizes[state.range(0)], state.range(1) != 0);
    decodeWithReader<&QV::UIA::Picture::readTGA>(state, file);
}

} // namespace

BENCHMARK(PNGReader)->DenseRange(0, 2);
BENCHMARK(PNGSimplified)->DenseRange(0, 2);
BENCHMARK(JPEGReader)->DenseRange(0, 2);
BENCHMARK(JPEGTurbo)->DenseRange(0, 2);
// Uncompressed and run-length encoded; TGA has no library to set beside it.
BENCHMARK(TGAReader)->ArgsProduct({{0, 1, 2}, {0, 1}});

BENCHMARK_MAIN();
