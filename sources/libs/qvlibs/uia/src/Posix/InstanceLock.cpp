#include "Posix/InstanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace QV::UIA::DETAIL {

namespace {

// Room for ".lock" and more within the 255 bytes a file name may have.
constexpr std::size_t kMaxKeyLength = 200;

// A folder that only the effective user can enter and change, not reached
// through a symbolic link.
bool isPrivateFolder(const std::filesystem::path& path)
{
    struct stat info{};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::optional<std::filesystem::path> InstanceLock::folder(const std::filesystem::path& sharedTemp)
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        if (isPrivateFolder(runtime))
            return std::filesystem::path(runtime);
    }
    const std::filesystem::path own = sharedTemp / ("qv-instances-" + std::to_string(geteuid()));
    // An existing folder is only used when it passes the same test: another
    // user may have made it first to read or block our locks.
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    if (!isPrivateFolder(own))
        return std::nullopt;
    return own;
}

std::string InstanceLock::fileName(const std::string& key)
{
    if (key.empty())
        return {};
    std::string name = key.substr(0, kMaxKeyLength);
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    return name + ".lock";
}

InstanceLock::eResult InstanceLock::acquire(const std::string& key, const std::filesystem::path& folder)
{
    if (m_fd >= 0)
        return eAcquired;
    const std::string name = fileName(key);
    if (name.empty()) {
        m_problem = "no name to claim";
        return eUnavailable;
    }
    const std::filesystem::path path = folder / name;
    // Close-on-exec: a browser started by the application must not keep the
    // claim alive after the application has quit.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) {
        m_problem = path.string() + " cannot be opened: " + std::strerror(errno);
        return eUnavailable;
    }
    int result = 0;
    do
        result = flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_fd = fd;
        return eAcquired;
    }
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK)
        return eHeldElsewhere;
    m_problem = path.string() + " cannot be locked: " + std::strerror(error);
    return eUnavailable;
}

} // namespace QV::UIA::DETAIL
