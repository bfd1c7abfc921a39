#include <QV/UIA/Picture.h>

#include <boost/filesystem/path.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace QV::UIA {

namespace {

// The source pixels that make up one target pixel along one axis, with their
// weights (summing to 1).
struct Taps
{
    std::vector<int> first;      // per target pixel: index into index/weight
    std::vector<int> count;      // per target pixel: number of taps
    std::vector<int> index;      // source pixel of each tap
    std::vector<float> weight;   // weight of each tap
};

// A tent filter as wide as one source pixel when enlarging and as wide as one
// target pixel (in source pixels) when reducing, so that every source pixel
// counts; edges repeat the outermost pixel.
Taps tapsFor(int sourceSize, int targetSize)
{
    Taps taps;
    const double ratio = double(sourceSize) / double(targetSize);
    const double radius = std::max(1.0, ratio);
    taps.first.reserve(std::size_t(targetSize));
    taps.count.reserve(std::size_t(targetSize));
    for (int j = 0; j < targetSize; ++j) {
        const double centre = (j + 0.5) * ratio - 0.5;
        const int from = int(std::ceil(centre - radius));
        const int to = int(std::floor(centre + radius));
        const std::size_t start = taps.index.size();
        double total = 0;
        for (int i = from; i <= to; ++i) {
            const double w = 1.0 - std::fabs(i - centre) / radius;
            if (w <= 0)
                continue;
            taps.index.push_back(std::clamp(i, 0, sourceSize - 1));
            taps.weight.push_back(float(w));
            total += w;
        }
        for (std::size_t k = start; k < taps.weight.size(); ++k)
            taps.weight[k] = float(taps.weight[k] / total);
        taps.first.push_back(int(start));
        taps.count.push_back(int(taps.index.size() - start));
    }
    return taps;
}

using Colour = std::array<float, 4>; // blue, green, red, alpha

// Smooth scaling in two passes, rows then columns. When the alpha channel
// counts, colours are weighted by their alpha so that transparent pixels do
// not darken the edges next to them.
void scaleSmooth(const Picture& from, Picture& to)
{
    const int sw = from.getWidth();
    const int sh = from.getHeight();
    const int tw = to.getWidth();
    const int th = to.getHeight();
    const bool weighted = from.getAlphaChannel();
    const Taps across = tapsFor(sw, tw);
    const Taps down = tapsFor(sh, th);

    std::vector<Colour> rows(std::size_t(tw) * std::size_t(sh));
    for (int y = 0; y < sh; ++y) {
        const std::uint32_t* source = from.getRow(y);
        for (int x = 0; x < tw; ++x) {
            Colour sum{};
            for (int k = across.first[std::size_t(x)]; k < across.first[std::size_t(x)] + across.count[std::size_t(x)];
                 ++k) {
                const std::uint32_t p = source[across.index[std::size_t(k)]];
                const float a = float(p >> 24);
                const float w = across.weight[std::size_t(k)];
                const float cw = weighted ? w * a / 255.0F : w;
                for (int c = 0; c < 3; ++c)
                    sum[std::size_t(c)] += cw * float((p >> (8 * c)) & 0xFF);
                sum[3] += w * a;
            }
            rows[std::size_t(y) * std::size_t(tw) + std::size_t(x)] = sum;
        }
    }
    for (int y = 0; y < th; ++y) {
        std::uint32_t* target = to.getRow(y);
        for (int x = 0; x < tw; ++x) {
            Colour sum{};
            for (int k = down.first[std::size_t(y)]; k < down.first[std::size_t(y)] + down.count[std::size_t(y)]; ++k) {
                const Colour& c = rows[std::size_t(down.index[std::size_t(k)]) * std::size_t(tw) + std::size_t(x)];
                const float w = down.weight[std::size_t(k)];
                for (std::size_t i = 0; i < 4; ++i)
                    sum[i] += w * c[i];
            }
            const float alpha = sum[3];
            const float unweight = weighted ? (alpha > 0 ? 255.0F / alpha : 0.0F) : 1.0F;
            std::uint32_t word = std::uint32_t(std::clamp(std::lround(alpha), 0L, 255L)) << 24;
            for (int c = 0; c < 3; ++c)
                word |= std::uint32_t(std::clamp(std::lround(sum[std::size_t(c)] * unweight), 0L, 255L)) << (8 * c);
            target[x] = word;
        }
    }
}

// Each target pixel takes the source pixel it falls on: for a whole factor k
// that is the k x k block of each source pixel, and any other factor still
// gives every target pixel a value.
void scaleReplicating(const Picture& from, Picture& to)
{
    const std::int64_t sw = from.getWidth();
    const std::int64_t sh = from.getHeight();
    const std::int64_t tw = to.getWidth();
    const std::int64_t th = to.getHeight();
    for (std::int64_t y = 0; y < th; ++y) {
        const std::uint32_t* source = from.getRow(int(y * sh / th));
        std::uint32_t* target = to.getRow(int(y));
        for (std::int64_t x = 0; x < tw; ++x)
            target[x] = source[x * sw / tw];
    }
}

int scaled(double value, float scale)
{
    const double v = std::round(value * double(scale));
    return int(std::clamp(v, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

} // namespace

std::unique_ptr<Picture> Picture::cloneAndScale(float scale, Sampling sampling) const
{
    if (!(scale > 0.0F) || !std::isfinite(scale))
        return nullptr;
    const double width = std::round(double(m_width) * double(scale));
    const double height = std::round(double(m_height) * double(scale));
    if (width > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max())
        return nullptr;

    auto copy = std::make_unique<Picture>();
    static_cast<PictureProperties&>(*copy) = *this;
    copy->m_fixedTop = scaled(m_fixedTop, scale);
    copy->m_fixedBottom = scaled(m_fixedBottom, scale);
    copy->setFixedLeft(scaled(m_fixedLeft, scale));
    copy->setFixedRight(scaled(m_fixedRight, scale));
    // An empty result has no buffer to stand in: no picture then.
    if (!copy->setSize(int(width), int(height), false) || width < 1 || height < 1)
        return nullptr;
    if (sampling == eSmooth)
        scaleSmooth(*this, *copy);
    else
        scaleReplicating(*this, *copy);
    return copy;
}

std::string resolveHiDPIUrl(const std::string& name, float scale)
{
    if (scale == 1.0F)
        return name;
    const boost::filesystem::path path(name);
    boost::filesystem::path result = path.parent_path();
    result /= path.stem().string() + "@2x" + path.extension().string();
    return result.string();
}

} // namespace QV::UIA
