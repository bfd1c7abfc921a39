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

// The bitmap kept from one paint to the next, so that a paint converts only
// the pixels it draws; it is made anew when the picture's size or the alpha
// flag changes.
struct DeviceContext::PlatformState {
    NSBitmapImageRep* bitmap = nil;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool alpha = false;
};

DeviceContext::DeviceContext(std::int32_t width, std::int32_t height)
    : m_width(width), m_height(height), m_state(new PlatformState)
{
}

DeviceContext::~DeviceContext()
{
    [m_state->bitmap release];
    delete m_state;
}

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

    PlatformState& state = *m_state;
    GP::Rect area = DETAIL::BitmapConversion::pixelArea(m_paintArea, m_scale, width, height);
    if (!state.bitmap || state.width != width || state.height != height || state.alpha != alpha) {
        [state.bitmap release];
        state.bitmap = makeBitmap(width, height, false);
        state.width = width;
        state.height = height;
        state.alpha = alpha;
        area = {0, 0, width, height};
    }
    NSBitmapImageRep* bitmap = state.bitmap;
    if (!bitmap || area.isEmpty())
        return;
    DETAIL::BitmapConversion::toRGBA(picture, area, [bitmap bitmapData], std::size_t([bitmap bytesPerRow]), alpha);

    const std::int32_t w = DETAIL::BitmapConversion::pointsForPixels(width, m_scale);
    const std::int32_t h = DETAIL::BitmapConversion::pointsForPixels(height, m_scale);
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    [graphics saveGraphicsState];
    if (!m_paintArea.isEmpty())
        NSRectClip(NSMakeRect(m_paintArea.left, m_paintArea.top, m_paintArea.right - m_paintArea.left,
                              m_paintArea.bottom - m_paintArea.top));
    // The view is flipped (y down) but images are drawn bottom-up: turning
    // the y axis over the picture's height puts its first row at the top.
    NSAffineTransform* flip = [NSAffineTransform transform];
    [flip translateXBy:0 yBy:h];
    [flip scaleXBy:1 yBy:-1];
    [flip concat];
    [bitmap drawInRect:NSMakeRect(0, 0, w, h)];
    [graphics restoreGraphicsState];
    [pool release];
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
