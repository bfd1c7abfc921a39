// Fuzz target for the detecting picture reader: any bytes must either load
// as a picture whose every pixel can be read and whose alpha flag tells the
// truth, or be refused without touching the picture. Built by clang with
// libFuzzer on request, and replayed over its corpus by an ordinary test.
#include <QV/GP/MemoryStream.h>
#include <QV/UIA/Picture.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QV::GP::MemoryStream stream;
    stream.getMemoryStorage().init(QV::GP::IStorage::eAccessRead, static_cast<const void*>(data), size);
    QV::UIA::Picture picture;
    if (!picture.readDetect(stream, QV::UIA::PictureProperties::eVertical, true)) {
        if (picture.getWidth() != 0 || picture.getHeight() != 0 || picture.getPixels() != nullptr)
            __builtin_trap();
        return 0;
    }
    // Every word is read, so that the sanitizers see a buffer smaller than
    // the size claims; and the alpha flag must say whether one is not opaque.
    bool translucent = false;
    const std::size_t count = std::size_t(picture.getWidth()) * std::size_t(picture.getHeight());
    for (std::size_t i = 0; i < count; ++i)
        translucent = picture.getPixels()[i] < 0xFF000000u || translucent;
    if (translucent != picture.getAlphaChannel())
        __builtin_trap();
    return 0;
}
