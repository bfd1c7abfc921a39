#pragma once

#include <cstddef>
#include <map>
#include <memory>

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
};

} // namespace QV::UIA
