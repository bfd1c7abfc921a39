#include <QV/UIA/ResourceFacade.h>

#include <QV/GP/CurrentDSOHandle.h>
#include <QV/GP/MemoryStream.h>
#include <QV/GP/ResourceStream.h>

#include "DefaultFont.h"

#include <cstring>

namespace QV::UIA {

ResourceMap::TypeMap& ResourceFacade::resourceMap()
{
    static ResourceMap::TypeMap map;
    return map;
}

void ResourceFacade::clearResourceMap() noexcept
{
    resourceMap().clear();
}

unsigned int ResourceFacade::typeCode(const char* type) noexcept
{
    unsigned int code = 0;
    for (int i = 0; i < 4; ++i)
        code = (code << 8) | static_cast<unsigned char>(type[i]);
    return code;
}

std::unique_ptr<GP::Stream> ResourceFacade::getResource(unsigned int id, const char* type,
                                                        GP::Endian::eByteOrder order)
{
    if (type == nullptr || std::strlen(type) != 4)
        return nullptr;
    DETAIL::registerDefaultFont();
    std::unique_ptr<GP::Stream> stream;
    const auto& map = resourceMap();
    const auto ofType = map.find(typeCode(type));
    const ResourceMap::ResEntry* entry = nullptr;
    if (ofType != map.end() && ofType->second != nullptr) {
        const auto found = ofType->second->find(id);
        if (found != ofType->second->end())
            entry = &found->second;
    }
    if (entry != nullptr) {
        auto memory = std::make_unique<GP::MemoryStream>();
        memory->getMemoryStorage().init(GP::IStorage::eAccessRead, entry->data, entry->size);
        stream = std::move(memory);
    } else {
        auto resource = std::make_unique<GP::ResourceStream>();
        if (!resource->init(GP::getCurrentDSOHandle(), static_cast<int>(id), type))
            return nullptr;
        stream = std::move(resource);
    }
    stream->setByteOrder(order);
    return stream;
}

} // namespace QV::UIA
