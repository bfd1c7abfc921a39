#pragma once

#include <QV/GP/Endian.h>

#include <cstddef>
#include <map>
#include <memory>

namespace QV::GP {
class Stream;
}

namespace QV::UIA {

namespace ResourceMap {
struct ResEntry {
    const void* data = nullptr;
    std::size_t size = 0;
};
using IdMap = std::map<unsigned, ResEntry>;
// Type code (four characters, the first in the high byte) to its resources.
using TypeMap = std::map<unsigned, std::unique_ptr<IdMap>>;
} // namespace ResourceMap

// Resources looked up by id and type. The map starts empty and nothing in
// this system fills it.
//
// Thread affinity: main thread.
class ResourceFacade
{
public:
    ResourceFacade() = delete;

    static ResourceMap::TypeMap& resourceMap();
    // Frees every inner map and empties the map (application shut-down).
    static void clearResourceMap() noexcept;

    // A stream on the resource of the id and the four-character type, read in
    // place and set to the byte order: from the resource map when it holds
    // it, else from the bundle's and the program's compiled resources. Null
    // when there is no such resource or the type is not four characters.
    static std::unique_ptr<GP::Stream> getResource(unsigned int id, const char* type, GP::Endian::eByteOrder order);

    // The four characters packed with the first in the high byte.
    static unsigned int typeCode(const char* type) noexcept;
};

} // namespace QV::UIA
