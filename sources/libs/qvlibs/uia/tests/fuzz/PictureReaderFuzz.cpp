// Fuzz target for the detecting picture reader: any bytes must either load
// as a picture whose every pixel can be read, or be refused without touching
// the picture. Built by clang with libFuzzer on request, and replayed over
// its corpus by an ordinary test.
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
    // Reading every word lets the sanitizers see a buffer smaller than the
    // size claims, or pixels never written.
    std::uint32_t sum = 0;
    const std::size_t count = std::size_t(picture.getWidth()) * std::size_t(picture.getHeight());
    for (std::size_t i = 0; i < count; ++i)
        sum += picture.getPixels()[i];
    if (picture.getAlphaChannel() && sum == 0xFFFFFFFFu && count == 0)
        __builtin_trap();
    return 0;
}
