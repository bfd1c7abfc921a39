#pragma once

namespace QV::UIA {
class Picture;
}

namespace QV::UIA::DETAIL {

// A new platform image (NSImage, owned by the caller, who releases it) with
// the picture's pixels and size; nil when the picture has no pixels or the
// platform gives no image. `premultiplied` asks for premultiplied alpha.
//
// Thread affinity: main thread.
void* createNSImageFromPicture(const Picture& picture, bool premultiplied);

} // namespace QV::UIA::DETAIL
