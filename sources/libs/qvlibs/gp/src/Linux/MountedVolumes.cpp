#include "MountedVolumes.h"
#include "MountTable.h"

#include <QV/GP/FileName.h>
#include <QV/GP/TextCompare.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <sstream>

namespace QV::GP::DETAIL {

namespace {

std::vector<std::string> componentsOf(const std::string& mountPath)
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start < mountPath.size())
    {
        std::size_t end = mountPath.find('/', start);
        if (end == std::string::npos)
            end = mountPath.size();
        if (end > start)
            components.push_back(mountPath.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

// The whole text of the mount table, read through the kept descriptor from
// its start; reading it also clears its change signal.
std::string readTable(int fd)
{
    std::string text;
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return text;
    char chunk[16384];
    for (;;)
    {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

MountedVolumeList parseTable(const std::string& table)
{
    MountedVolumeList volumes;
    volumes.push_back({FileName::kRootVolumeName, "/", {}, false});

    std::istringstream in(table);
    for (const MountEntry& entry : parseMountInfo(in))
    {
        std::string mountPoint = entry.mountPath;
        if (mountPoint == "/" || mountPoint.empty() || mountPoint.front() != '/')
            continue;
        // Files bound over files (containers do this for /etc/hosts) are no
        // volumes: a volume is a place that holds items.
        if (!isDirectoryPath(mountPoint))
            continue;
        while (mountPoint.size() > 1 && mountPoint.back() == '/')
            mountPoint.pop_back();
        bool known = false;
        for (const MountedVolume& volume : volumes)
            known = known || volume.mountPath == mountPoint;
        if (!known)
            volumes.push_back({volumeNameOf(mountPoint), mountPoint, componentsOf(mountPoint), false});
    }
    for (MountedVolume& volume : volumes)
        volume.reachableByName = MountedVolumes::mountPathOf(volumes, volume.name) == volume.mountPath;
    return volumes;
}

class VolumeCache
{
public:
    VolumeCache() { ::pthread_atfork(nullptr, nullptr, &VolumeCache::afterFork); }

    std::shared_ptr<const MountedVolumeList> current()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        bool reread = m_stale.exchange(false) || !m_list;
        // The kept descriptor reads the mount table of the process that
        // opened it; a child that was forked opens its own.
        if (s_forked.exchange(false))
        {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = -1;
            reread = true;
        }
        if (!reread && now - m_lastCheck >= std::chrono::milliseconds(MountedVolumes::kRecheckIntervalMs))
        {
            m_lastCheck = now;
            reread = tableChanged();
        }
        if (reread)
        {
            m_lastCheck = now;
            if (m_fd < 0)
                m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            m_list = std::make_shared<const MountedVolumeList>(parseTable(readTable(m_fd)));
            m_reads.fetch_add(1);
        }
        return m_list;
    }

    void invalidate() noexcept { m_stale.store(true); }
    std::uint64_t reads() const noexcept { return m_reads.load(); }

private:
    // The kernel flags the mount table with POLLPRI (and POLLERR) once
    // after each change of the mounts, until it is polled again.
    bool tableChanged()
    {
        if (m_fd < 0)
            return true;
        pollfd watched{m_fd, POLLPRI, 0};
        return ::poll(&watched, 1, 0) != 0;
    }

    static void afterFork() { s_forked.store(true); }

    static inline std::atomic<bool> s_forked{false};
    std::mutex m_mutex;
    std::shared_ptr<const MountedVolumeList> m_list;
    std::chrono::steady_clock::time_point m_lastCheck{};
    int m_fd = -1;
    std::atomic<bool> m_stale{false};
    std::atomic<std::uint64_t> m_reads{0};
};

// Never destroyed: file names may be parsed while static objects are torn
// down at exit.
VolumeCache& cache()
{
    static VolumeCache* const instance = new VolumeCache;
    return *instance;
}

} // namespace

std::shared_ptr<const MountedVolumeList> MountedVolumes::current()
{
    return cache().current();
}

MountedVolumeList MountedVolumes::list()
{
    return *current();
}

void MountedVolumes::invalidate() noexcept
{
    cache().invalidate();
}

std::uint64_t MountedVolumes::readCount() noexcept
{
    return cache().reads();
}

std::string MountedVolumes::mountPathOf(const MountedVolumeList& volumes, const std::string& name)
{
    for (const MountedVolume& volume : volumes)
        if (volume.name == name)
            return volume.mountPath;
    for (const MountedVolume& volume : volumes)
        if (equalIgnoringCase(volume.name, name))
            return volume.mountPath;
    return {};
}

bool MountedVolumes::isVolumeName(const std::string& name)
{
    // Volume names carry no ':' (it stands as '/' in them), so a path with
    // one needs no look-up.
    if (name.empty() || name.find(':') != std::string::npos)
        return false;
    return !mountPathOf(*current(), name).empty();
}

} // namespace QV::GP::DETAIL
