#pragma once

#include <QV/GP/ResourceStorage.h>
#include <QV/GP/Stream.h>

namespace QV::GP {

// A stream over one compiled resource, read in place.
class ResourceStream : public Stream
{
public:
    ResourceStream() { setStorage(&m_resourceStorage); }

    bool init(CFBundleRef bundle, int id, const char* type) { return m_resourceStorage.init(bundle, id, type); }
    bool init(CFBundleRef bundle, const char* name, const char* type)
    {
        return m_resourceStorage.init(bundle, name, type);
    }

    ResourceStorage& getResourceStorage() noexcept { return m_resourceStorage; }

private:
    ResourceStorage m_resourceStorage;
};

} // namespace QV::GP
