#pragma once

#include <QV/GP/CurrentDSOHandle.h>
#include <QV/GP/IStorage.h>
#include <QV/GP/MemoryStorage.h>

#include <memory>

namespace QV::GP {

// A read-only storage over one resource built into the program, found in the
// compiled-resource registry by type text and number, or by name. There is
// no resource map beside the bundle on this platform, so the bundle argument
// only says where such a map would be and the registry is always asked.
//
// Thread affinity: one thread at a time.
class ResourceStorage : public IStorage
{
public:
    ResourceStorage() = default;

    // False when the registry has no such resource or it is empty; a missing
    // resource is reported on the error stream ("cannot resolve resource:
    // " with the type and number, or the name).
    bool init(CFBundleRef bundle, int id, const char* type);
    bool init(CFBundleRef bundle, const char* name, const char* type);
    void close();

    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;
    long long getPos64() const override;
    bool seek64(long long offset, eSeekMode mode) override;

private:
    bool open(const std::uint8_t* data, std::uint64_t size);

    std::unique_ptr<MemoryStorage> m_inner;
};

} // namespace QV::GP
