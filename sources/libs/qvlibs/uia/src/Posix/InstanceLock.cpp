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
// Readable by every user: flock needs no more than a descriptor open for
// reading, so that another user's instance can take the claim on the file
// the first one made, and no one but its maker can change it.
constexpr mode_t kLockFileMode = 0644;
// Opens that race with another instance making or removing the file.
constexpr int kOpenAttempts = 3;

// The lock file at `path`, made when missing; -1 with `problem` told when it
// cannot be opened or is not a plain file. It is opened for reading only, and
// without O_CREAT where it exists: in a folder open to all with the sticky bit
// the kernel may refuse O_CREAT on another user's file (fs.protected_regular).
// Not following a link, and not waiting on a FIFO, that someone put there;
// closed on exec, so that a browser the application started does not keep the
// claim alive after the application has quit.
int openLockFile(const std::filesystem::path& path, std::string& problem)
{
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = open(path.c_str(), kFlags);
        if (fd < 0 && errno == ENOENT) {
            fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, kLockFileMode);
            if (fd < 0 && errno == EEXIST)
                continue;
            // The umask would otherwise keep other users out.
            if (fd >= 0)
                fchmod(fd, kLockFileMode);
        }
        if (fd < 0) {
            problem = path.string() + " cannot be opened: " + std::strerror(errno);
            return -1;
        }
        struct stat info{};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd);
            problem = path.string() + " is not a plain file";
            return -1;
        }
        return fd;
    }
    problem = path.string() + " cannot be opened: it was removed each time it was made";
    return -1;
}

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::filesystem::path InstanceLock::folder(const std::filesystem::path& machineLocks,
                                           const std::filesystem::path& sharedTemp)
{
    if (const char* named = std::getenv(kFolderVariable); named && named[0] == '/')
        return named;
    std::error_code ignored;
    if (std::filesystem::is_directory(machineLocks, ignored))
        return machineLocks;
    return sharedTemp;
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
    m_problem.clear();
    const std::filesystem::path path = folder / name;
    const int fd = openLockFile(path, m_problem);
    if (fd < 0)
        return eHeldElsewhere;
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
