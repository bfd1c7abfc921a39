#include <QV/UIA/Picture.h>

#include "PixelRows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace QV::UIA {

namespace Rows = DETAIL::PixelRows;

namespace {

__extension__ typedef __int128 Wide;

// A rectangle from edges computed in 64 bits, each held within 32 bits.
GP::Rect rectFrom(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) noexcept
{
    const auto hold = [](std::int64_t v) {
        return std::int32_t(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max()));
    };
    return {hold(left), hold(top), hold(right), hold(bottom)};
}

bool inside(const GP::Rect& r, std::int64_t x, std::int64_t y) noexcept
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) noexcept
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

bool Picture::cutArea(int x, int y, int width, int height, GP::Rect& area) const
{
    if (width < 1 || height < 1)
        return false;
    area = rectFrom(x, y, std::int64_t(x) + width, std::int64_t(y) + height).intersection(getEffectiveClip());
    return !area.isEmpty();
}

void Picture::clear(std::uint32_t colour)
{
    if (m_pixels != nullptr)
        Rows::fill(m_pixels, std::size_t(m_width) * std::size_t(m_height), colour);
}

void Picture::setPixelUC(int x, int y, std::uint32_t colour)
{
    std::uint32_t* p = pixelAt(x, y);
    if (colour >= Rows::kAlphaMask)
        *p = colour;
    else
        *p = m_useLegacyAlphaCompositing ? Rows::overLegacy(*p, colour) : Rows::over(*p, colour);
}

void Picture::drawLineHUC(int x, int y, int length, std::uint32_t colour)
{
    if (length >= 1)
        Rows::paint(pixelAt(x, y), std::size_t(length), colour, m_useLegacyAlphaCompositing);
}

void Picture::drawLineH(int x, int y, int length, std::uint32_t colour)
{
    GP::Rect area;
    if (cutArea(x, y, length, 1, area))
        drawLineHUC(area.left, area.top, area.right - area.left, colour);
}

void Picture::drawLineVUC(int x, int y, int length, std::uint32_t colour)
{
    for (int i = 0; i < length; ++i)
        Rows::paint(pixelAt(x, y + i), 1, colour, m_useLegacyAlphaCompositing);
}

void Picture::drawLineV(int x, int y, int length, std::uint32_t colour)
{
    GP::Rect area;
    if (cutArea(x, y, 1, length, area))
        drawLineVUC(area.left, area.top, area.bottom - area.top, colour);
}

void Picture::fillAreaUC(int x, int y, int width, int height, std::uint32_t colour)
{
    if (width < 1 || height < 1 || colour < 0x01000000u)
        return;
    if (width == m_width && colour >= Rows::kAlphaMask) {
        Rows::fill(pixelAt(x, y), std::size_t(width) * std::size_t(height), colour);
        return;
    }
    for (int row = 0; row < height; ++row)
        Rows::paint(pixelAt(x, y + row), std::size_t(width), colour, m_useLegacyAlphaCompositing);
}

void Picture::fillArea(int x, int y, int width, int height, std::uint32_t colour)
{
    GP::Rect area;
    if (cutArea(x, y, width, height, area))
        fillAreaUC(area.left, area.top, area.right - area.left, area.bottom - area.top, colour);
}

void Picture::invertArea(int x, int y, int width, int height)
{
    GP::Rect area;
    if (!cutArea(x, y, width, height, area))
        return;
    for (int row = area.top; row < area.bottom; ++row) {
        std::uint32_t* p = pixelAt(area.left, row);
        for (int i = 0; i < area.right - area.left; ++i)
            p[i] ^= 0x00FFFFFFu;
    }
}

void Picture::setAreaColor(const GP::Rect& rect, std::uint32_t colour)
{
    const GP::Rect area = rect.intersection(getBounds());
    if (area.isEmpty())
        return;
    for (int row = area.top; row < area.bottom; ++row)
        Rows::fill(pixelAt(area.left, row), std::size_t(area.right - area.left), colour);
}

void Picture::drawRectangle(int x, int y, int width, int height, std::uint32_t colour)
{
    drawLineH(x, y, width, colour);
    if (height >= 2)
        drawLineH(x, int(std::int64_t(y) + height - 1), width, colour);
    if (height > 2) {
        drawLineV(x, y + 1, height - 2, colour);
        drawLineV(int(std::int64_t(x) + width - 1), y + 1, height - 2, colour);
    }
}

void Picture::copyAreaUC(int x, int y, int width, int height, const Picture& src, int sx, int sy)
{
    if (width < 1 || height < 1)
        return;
    const bool legacy = m_useLegacyAlphaCompositing || src.m_useLegacyAlphaCompositing;
    const std::size_t count = std::size_t(width);
    for (int row = 0; row < height; ++row) {
        std::uint32_t* d = pixelAt(x, y + row);
        const std::uint32_t* s = src.pixelAt(sx, sy + row);
        if (!src.getAlphaChannel())
            std::memmove(d, s, count * sizeof *d);
        else if (legacy)
            Rows::copyLegacyRow(d, s, count);
        else
            Rows::overRow(d, s, count);
    }
}

bool Picture::checkClipRect(GP::Rect& rect, int* dx, int* dy) const
{
    const bool flipX = rect.left > rect.right;
    const bool flipY = rect.top > rect.bottom;
    GP::Rect r = rect;
    if (flipX)
        std::swap(r.left, r.right);
    if (flipY)
        std::swap(r.top, r.bottom);
    *dx = 0;
    *dy = 0;
    const GP::Rect cut = r.intersection(getEffectiveClip());
    if (cut.isEmpty()) {
        rect = {};
        return false;
    }
    *dx = r.left - cut.left;
    *dy = r.top - cut.top;
    rect = cut;
    if (flipX)
        std::swap(rect.left, rect.right);
    if (flipY)
        std::swap(rect.top, rect.bottom);
    return true;
}

void Picture::drawLineUC(int x1, int y1, int x2, int y2, std::uint32_t colour)
{
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    walkLine(x1, y1, x2, y2, {kMin, kMin, kMax, kMax}, colour);
}

void Picture::drawLine(int x1, int y1, int x2, int y2, std::uint32_t colour)
{
    const GP::Rect clip = getEffectiveClip();
    if (!clip.isEmpty())
        walkLine(x1, y1, x2, y2, clip, colour);
}

void Picture::walkLine(int x1, int y1, int x2, int y2, const GP::Rect& limits, std::uint32_t colour)
{
    const std::int64_t dx = std::int64_t(x2) - x1;
    const std::int64_t dy = std::int64_t(y2) - y1;
    if (dx == 0 && dy == 0)
        return;
    // Walked along the major axis m with the minor axis n; |dx| = |dy| walks
    // along y.
    const bool xMajor = std::abs(dx) > std::abs(dy);
    const std::int64_t m1 = xMajor ? x1 : y1;
    const std::int64_t n1 = xMajor ? y1 : x1;
    const std::int64_t dm = std::abs(xMajor ? dx : dy);
    const std::int64_t dn = std::abs(xMajor ? dy : dx);
    const int sm = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int sn = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t mLow = xMajor ? limits.left : limits.top;
    const std::int64_t mHigh = xMajor ? limits.right : limits.bottom;
    const std::int64_t nLow = xMajor ? limits.top : limits.left;
    const std::int64_t nHigh = xMajor ? limits.bottom : limits.right;

    // Steps i = 0 .. dm - 1 plot major coordinate m1 + sm * i; only those
    // inside the limits are walked, so a long line costs no more than the
    // part of it that can show.
    std::int64_t first = 0;
    std::int64_t end = dm;
    if (sm > 0) {
        first = std::max<std::int64_t>(first, mLow - m1);
        end = std::min(end, mHigh - m1);
    } else {
        first = std::max<std::int64_t>(first, m1 - mHigh + 1);
        end = std::min(end, m1 - mLow + 1);
    }
    if (first >= end)
        return;

    // The Bresenham state after `first` steps: k minor steps taken so far
    // and the error term e = 2 (i + 1) dn - dm - 2 k dm.
    std::int64_t k = std::int64_t((Wide(2) * first * dn + dm) / (Wide(2) * dm));
    std::int64_t e = std::int64_t(Wide(2) * (first + 1) * dn - dm - Wide(2) * k * dm);
    for (std::int64_t i = first; i < end; ++i) {
        const std::int64_t m = m1 + sm * i;
        const std::int64_t n = n1 + sn * k;
        if (n >= nLow && n < nHigh)
            setPixelUC(int(xMajor ? m : n), int(xMajor ? n : m), colour);
        else if ((sn > 0 && n >= nHigh) || (sn < 0 && n < nLow))
            return; // left the limits for good
        if (e >= 0) {
            ++k;
            e += 2 * dn - 2 * dm;
        } else {
            e += 2 * dn;
        }
    }
}

void Picture::drawLineAA(float x1, float y1, float x2, float y2, std::uint32_t colour)
{
    const GP::Rect clip = getEffectiveClip();
    // Coordinates beyond 2^24 hold no whole pixels any more; keeping below
    // that also keeps every product of the walk within 64 bits.
    constexpr float kLimit = 16777216.0F;
    for (float v : {x1, y1, x2, y2})
        if (!(std::fabs(v) <= kLimit))
            return;
    if (clip.isEmpty())
        return;
    const std::int64_t alpha = colour >> 24;
    const std::int64_t ddx = std::int64_t(double(x2 - x1) * double(alpha));
    const std::int64_t ddy = std::int64_t(double(y2 - y1) * double(alpha));
    const bool yMajor = std::abs(ddx) < std::abs(ddy);
    double m1 = yMajor ? y1 : x1;
    double n1 = yMajor ? x1 : y1;
    double m2 = yMajor ? y2 : x2;
    double n2 = yMajor ? x2 : y2;
    std::int64_t majorDelta = yMajor ? ddy : ddx;
    std::int64_t minorDelta = yMajor ? ddx : ddy;
    if (m1 > m2) {
        std::swap(m1, m2);
        std::swap(n1, n2);
        majorDelta = -majorDelta;
        minorDelta = -minorDelta;
    }
    const std::int64_t D = majorDelta;
    const std::int64_t N = minorDelta;
    if (D <= 0)
        return;

    const std::uint32_t rgb = colour & 0x00FFFFFFu;
    const auto plot = [&](std::int64_t major, std::int64_t minor, std::int64_t a) {
        const std::int64_t x = yMajor ? minor : major;
        const std::int64_t y = yMajor ? major : minor;
        if (inside(clip, x, y))
            setPixelUC(int(x), int(y), rgb | (std::uint32_t(std::clamp<std::int64_t>(a, 0, 255)) << 24));
    };
    // The minor position times D at the whole major coordinate nearest m,
    // and how far into that pixel the end point reaches (0 .. D - 1).
    struct End
    {
        std::int64_t major, position, reach;
    };
    const auto end = [&](double m, double n) {
        const std::int64_t major = std::int64_t(m + 0.5);
        const std::int64_t position = std::int64_t((double(major) - m) * double(N) + n * double(D));
        std::int64_t reach = std::int64_t((m + 0.5) * double(D)) % D;
        if (reach < 0)
            reach += D;
        return End{major, position, reach};
    };
    const auto split = [&](std::int64_t position, std::int64_t& minor, std::int64_t& fraction) {
        minor = floorDiv(position, D);
        fraction = position - minor * D;
    };

    const End first = end(m1, n1);
    const End last = end(m2, n2);
    std::int64_t minor = 0;
    std::int64_t fraction = 0;
    split(first.position, minor, fraction);
    plot(first.major, minor, (D - fraction) * alpha / D * (D - first.reach) / D);
    plot(first.major, minor + 1, fraction * alpha / D * (D - first.reach) / D);
    split(last.position, minor, fraction);
    plot(last.major, minor, (D - fraction) * alpha / D * last.reach / D);
    plot(last.major, minor + 1, fraction * alpha / D * last.reach / D);

    // Only the major coordinates inside the clip are walked.
    const std::int64_t low = yMajor ? clip.top : clip.left;
    const std::int64_t high = yMajor ? clip.bottom : clip.right;
    const std::int64_t from = std::max(first.major + 1, low);
    const std::int64_t to = std::min(last.major - 1, high - 1);
    std::int64_t position = first.position + N * (from - 1 - first.major);
    for (std::int64_t i = from; i <= to; ++i) {
        position += N;
        split(position, minor, fraction);
        plot(i, minor, (D - fraction) * alpha / D);
        plot(i, minor + 1, fraction * alpha / D);
    }
}

} // namespace QV::UIA
