#include <QV/GP/StreamUtil.h>

#include <QV/GP/IStorage.h>
#include <QV/GP/Stream.h>

#include <cstdint>
#include <limits>
#include <new>

namespace QV::GP {

std::optional<std::vector<unsigned char>> toStdVectorRaw(Stream& stream)
{
    IStorage* storage = stream.getStorage();
    if (storage == nullptr || !storage->seek64(0, IStorage::eSeekFromEnd))
        return std::nullopt;
    // Sizes are held in 32 signed bits; a larger storage is refused whole
    // rather than read in part.
    const long long size = storage->getPos64();
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    if (!storage->seek64(0, IStorage::eSeekFromStart))
        return std::nullopt;
    try {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
        if (stream.readRaw(bytes.data(), bytes.size()) != bytes.size())
            return std::nullopt;
        return bytes;
    }
    catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace QV::GP
