#include <QV/GP/FileManager.h>

#include <QV/GP/CurrentDSOHandle.h>
#include <QV/GP/FileContainer.h>
#include <QV/GP/FileContainerStorage.h>
#include <QV/GP/FileName.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace QV::GP {

namespace {

bool statOf(const FileName& name, struct stat& info)
{
    const std::string path = name.getSystemPath(true, true);
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

} // namespace

bool FileManager::existsFile(const FileName& name)
{
    // An item inside a container exists when the container holds it.
    if (!name.getSubpath().empty())
        return FileContainer::isContainerFileContent(FileName(name.getFull()), name.getSubpath());
    struct stat info{};
    if (!statOf(name, info))
        return false;
    if (S_ISDIR(info.st_mode))
        return name.getState() == FileName::eStateFile;
    return S_ISREG(info.st_mode);
}

bool FileManager::existsDir(const FileName& name)
{
    if (name.getState() == FileName::eStateEmpty)
        return false;
    struct stat info{};
    return statOf(name, info) && S_ISDIR(info.st_mode);
}

std::uint64_t FileManager::getFileSize(const FileName& name)
{
    if (!name.getSubpath().empty())
    {
        FileContainerStorage container;
        if (!container.open(name, IStorage::eAccessRead))
            return 0;
        const FileContainerParser* item = container.getOpenedItem();
        return item == nullptr || item->getRangeLength() < 0 ? 0 : static_cast<std::uint64_t>(item->getRangeLength());
    }
    struct stat info{};
    if (!statOf(name, info) || !S_ISREG(info.st_mode) || info.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(info.st_size) > static_cast<std::uint64_t>(LLONG_MAX)
               ? static_cast<std::uint64_t>(LLONG_MAX)
               : static_cast<std::uint64_t>(info.st_size);
}

bool FileManager::createFile(const FileName& name)
{
    if (name.getState() != FileName::eStateFile || name.getType() == nullptr || !name.getSubpath().empty())
        return false;
    if (existsFile(name))
        return true;
    const std::string path = name.getSystemPath(false, true);
    if (path.empty())
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

bool FileManager::getCurDir(FileName& name)
{
    char buffer[1024];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return false;
    std::string path = buffer;
    if (path.back() != '/')
        path += '/';
    name = FileName(boost::filesystem::path(path));
    return name.getState() != FileName::eStateEmpty;
}

const boost::filesystem::path& getCurrentBundlePath()
{
    // The bundle is the one the start-up resolved, so that resources and
    // catalogues come from the same folder; its resources sit directly in it.
    static const boost::filesystem::path s_bundle = [] {
        const std::string resources = getCurrentDSOResourcePath();
        return resources.empty() ? boost::filesystem::path() : boost::filesystem::path(resources).parent_path();
    }();
    return s_bundle;
}

} // namespace QV::GP
