#pragma once

#include <QV/GP/Rect.h>

#include <cstdint>

namespace QV::UIA {

class Picture;

// The platform graphics context of one paint, as the window's paint event
// hands it to the toolkit, which draws its offscreen picture through it.
// A window implementation owns one and attaches it only while the view
// paints; updateFromPicture is valid only then.
//
// Thread affinity: main thread.
class DeviceContext
{
public:
    DeviceContext(std::int32_t width, std::int32_t height);
    virtual ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // `context` is the platform graphics context (NSGraphicsContext) of the
    // paint; its graphics state is saved and set up for copying pictures
    // pixel for pixel. detachOSHandle restores it.
    void attachOSHandle(void* context);
    void detachOSHandle();
    void* getOSHandle() const noexcept { return m_context; }

    // Backing pixels per point: 1.0 after construction.
    void setScale(float scale) noexcept { m_scale = scale; }
    float getScale() const noexcept { return m_scale; }
    // The part of the view being painted, in points; an empty area (the
    // default) paints everything. Only that part of a picture is converted
    // and drawn.
    void setPaintArea(const GP::Rect& area) noexcept { m_paintArea = area; }
    const GP::Rect& getPaintArea() const noexcept { return m_paintArea; }

    std::int32_t getWidth() const noexcept { return m_width; }
    std::int32_t getHeight() const noexcept { return m_height; }

    // Draws the whole picture with its first row at the top of the view and
    // one picture pixel per backing pixel. Without `alpha` the picture's
    // alpha bytes are ignored and it is drawn opaque. Nothing happens while
    // no context is attached.
    void updateFromPicture(const Picture& picture, bool alpha);

private:
    void* m_context = nullptr;
    std::int32_t m_width;
    std::int32_t m_height;
    float m_scale = 1.0f;
    GP::Rect m_paintArea;
};

} // namespace QV::UIA
