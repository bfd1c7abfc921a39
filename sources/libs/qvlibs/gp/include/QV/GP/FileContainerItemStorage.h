#pragma once

#include <QV/GP/FileContainerStorage.h>
#include <QV/GP/RangeLimitingStorage.h>

#include <memory>

namespace QV::GP {

class FileName;

// One item of a container file, read as a storage of its own: a window on
// the container over exactly the item's bytes. The name's subpath says which
// item ("Res:pack.bin<icon.png" by name, "Res:pack.bin<<7>" by id).
//
// Thread affinity: one thread at a time.
class FileContainerItemStorage : public RangeLimitingStorage
{
public:
    FileContainerItemStorage() = default;
    ~FileContainerItemStorage() override;

    // False, with the storage closed, when the container cannot be opened,
    // the subpath names no item, or the item is empty.
    bool open(const FileName& name, eAccessMode mode, eLockingMode locking = eLockNone);
    void close();

    FileContainerStorage* getContainer() const noexcept { return m_container.get(); }

private:
    std::unique_ptr<FileContainerStorage> m_container;
};

} // namespace QV::GP
