#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/Picture.h>

#include "../Common/BitmapConversion.h"
#include "GNUstepHeaders.h"
#include "PlatformImage.h"

#include <cstring>

namespace {

// A platform bitmap of bytes R, G, B, A in one plane (GNUstep has no
// blue-first layout), straight or premultiplied alpha.
NSBitmapImageRep* makeBitmap(std::int32_t width, std::int32_t height, bool premultiplied)
{
    const NSBitmapFormat format = premultiplied ? NSBitmapFormat(0) : NSAlphaNonpremultipliedBitmapFormat;
    return [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                   pixelsWide:width
                                                   pixelsHigh:height
                                                bitsPerSample:8
                                              samplesPerPixel:4
                                                     hasAlpha:YES
                                                     isPlanar:NO
                                               colorSpaceName:NSDeviceRGBColorSpace
                                                 bitmapFormat:format
                                                  bytesPerRow:NSInteger(width) * 4
                                                 bitsPerPixel:32];
}

} // namespace

namespace QV::UIA {

DeviceContext::DeviceContext(std::int32_t width, std::int32_t height) : m_width(width), m_height(height) {}

DeviceContext::~DeviceContext() = default;

void DeviceContext::attachOSHandle(void* context)
{
    if (m_context)
        detachOSHandle();
    auto* graphics = reinterpret_cast<NSGraphicsContext*>(context);
    m_context = graphics;
    if (!graphics)
        return;
    [graphics saveGraphicsState];
    // One picture pixel lands on one screen pixel: no smoothing of edges or
    // of scaled images.
    [graphics setShouldAntialias:NO];
    [graphics setImageInterpolation:NSImageInterpolationNone];
    [graphics setCompositingOperation:NSCompositeSourceOver];
}

void DeviceContext::detachOSHandle()
{
    auto* graphics = reinterpret_cast<NSGraphicsContext*>(m_context);
    m_context = nullptr;
    [graphics restoreGraphicsState];
}

void DeviceContext::updateFromPicture(const Picture& picture, bool alpha)
{
    auto* graphics = reinterpret_cast<NSGraphicsContext*>(m_context);
    const std::int32_t width = picture.getWidth();
    const std::int32_t height = picture.getHeight();
    if (!graphics || width <= 0 || height <= 0 || !picture.getPixels())
        return;

    // Only the pixels under the paint area go to the platform, in a bitmap of
    // that area's size made for this paint: the platform converts and sends
    // the whole of any bitmap it draws, and a window-sized bitmap kept
    // between paints would hold a second copy of the window's picture.
    const GP::Rect area = DETAIL::BitmapConversion::pixelArea(m_paintArea, m_scale, width, height);
    if (area.isEmpty())
        return;
    const std::int32_t areaWidth = area.right - area.left;
    const std::int32_t areaHeight = area.bottom - area.top;
    NSBitmapImageRep* bitmap = makeBitmap(areaWidth, areaHeight, false);
    if (!bitmap)
        return;
    DETAIL::BitmapConversion::areaToRGBA(picture, area, [bitmap bitmapData], std::size_t([bitmap bytesPerRow]), alpha);

    const double scale = m_scale > 0.0f ? double(m_scale) : 1.0;
    const NSRect target = NSMakeRect(area.left / scale, area.top / scale, areaWidth / scale, areaHeight / scale);
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    [graphics saveGraphicsState];
    if (!m_paintArea.isEmpty())
        NSRectClip(NSMakeRect(m_paintArea.left, m_paintArea.top, m_paintArea.right - m_paintArea.left,
                              m_paintArea.bottom - m_paintArea.top));
    // The view is flipped (y down) but images are drawn bottom-up: turning
    // the y axis over the bitmap's place puts its first row at the top.
    NSAffineTransform* flip = [NSAffineTransform transform];
    [flip translateXBy:0 yBy:NSMaxY(target) + NSMinY(target)];
    [flip scaleXBy:1 yBy:-1];
    [flip concat];
    [bitmap drawInRect:target];
    [graphics restoreGraphicsState];
    [pool release];
    [bitmap release];
}

namespace DETAIL {

void* createNSImageFromPicture(const Picture& picture, bool premultiplied)
{
    const std::int32_t width = picture.getWidth();
    const std::int32_t height = picture.getHeight();
    if (width <= 0 || height <= 0 || !picture.getPixels())
        return nullptr;
    NSBitmapImageRep* bitmap = makeBitmap(width, height, premultiplied);
    if (!bitmap)
        return nullptr;
    BitmapConversion::toRGBA(picture, {0, 0, width, height}, [bitmap bitmapData], std::size_t([bitmap bytesPerRow]),
                             true);
    if (premultiplied) {
        unsigned char* row = [bitmap bitmapData];
        for (std::int32_t y = 0; y < height; ++y, row += [bitmap bytesPerRow])
            for (std::int32_t x = 0; x < width; ++x) {
                unsigned char* p = row + x * 4;
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<unsigned char>((p[c] * p[3] + 127) / 255);
            }
    }
    NSImage* image = [[NSImage alloc] initWithSize:NSMakeSize(width, height)];
    [image addRepresentation:bitmap];
    [bitmap release];
    return image;
}

} // namespace DETAIL
} // namespace QV::UIA
