#include <QV/UIA/ResourceFacade.h>

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

} // namespace QV::UIA
