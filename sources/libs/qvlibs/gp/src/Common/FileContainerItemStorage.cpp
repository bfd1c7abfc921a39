#include <QV/GP/FileContainerItemStorage.h>

#include <QV/GP/FileName.h>

#include <climits>

namespace QV::GP {

FileContainerItemStorage::~FileContainerItemStorage()
{
    close();
}

void FileContainerItemStorage::close()
{
    RangeLimitingStorage::close();
    m_container.reset();
}

bool FileContainerItemStorage::open(const FileName& name, eAccessMode mode, eLockingMode locking)
{
    close();
    auto container = std::make_unique<FileContainerStorage>();
    container->setPartLockingMode(locking);
    if (!container->open(name, mode, false, LLONG_MAX))
        return false;
    // A name without a subpath opens the container but names no item.
    const FileContainerParser* item = container->getOpenedItem();
    if (item == nullptr || item->getRangeLength() <= 0)
        return false;
    if (!container->seek64(item->getRangeStart(), eSeekFromStart))
        return false;
    const auto start = static_cast<std::uint64_t>(item->getRangeStart());
    const auto length = static_cast<std::uint64_t>(item->getRangeLength());
    m_container = std::move(container);
    if (!init(m_container.get(), false, start, length))
    {
        close();
        return false;
    }
    return true;
}

} // namespace QV::GP
